// Texts of the button bar that report the view's state: the play button's label and the
// lossless indicator with the name of the reference sound.
#pragma once
#include <string>

#include "commands/app.h"

// "Play" while playback is stopped, "Pause" otherwise.
const char* play_button_label(int play_state);

// Beside the Lossless button: "ON" and "(Reference audio : NAME)" while lossless synthesis is
// on, "OFF" and "" otherwise.
struct LosslessTexts {
    std::string state;
    std::string reference;
};
LosslessTexts lossless_texts(const App& app);
