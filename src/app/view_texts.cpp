#include "app/view_texts.h"

const char* play_button_label(int play_state)
{
    return play_state == play_stopped ? "Play" : "Pause";
}

LosslessTexts lossless_texts(const App& app)
{
    if (!app.project.lossless)
        return {"OFF", ""};
    return {"ON", "(Reference audio : " + app.reference_sound + ")"};
}
