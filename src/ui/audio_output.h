// The Audio driver & output window: driver and device chosen from what SDL reports, the
// sample rate and buffer length applied by reopening the device, and the device's message.
#pragma once
#include <string>

#include "support/widgets.h"

struct AudioOutput;
struct PrefStore;

struct AudioOutputDialog {
    bool open = false;
    int first_frame = 2;
    FloatingWindow window;
    DropDown drivers, devices;       // elements 10, 20
    std::string message;             // element 30
    TextField rate, buffer;          // 42, 43
    int rate_at_open = 0;
};

void audio_output_open(AudioOutputDialog& d);
// Fills the lists and fields from SDL, the preferences and the device in use.
void audio_output_fill(AudioOutputDialog& d, AudioOutput& out, PrefStore& store);
// Reopens the chosen device with the fields' rate and buffer (clamped to 8,000-384,000 Hz and
// 200-32,768 samples); the fields then show what was obtained. A device that does not open
// leaves the program without sound, says so in the message and in one log line.
void audio_output_apply(AudioOutputDialog& d, AudioOutput& out, PrefStore& store);
void audio_output_frame(WidgetContext& ctx, AudioOutputDialog& d, AudioOutput& out, PrefStore& store, int screen_w,
                        int screen_h);
