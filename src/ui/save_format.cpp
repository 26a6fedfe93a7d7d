#include "ui/save_format.h"

#include <algorithm>

#include "commands/app.h"
#include "commands/archive_read.h"
#include "commands/history.h"
#include "commands/sound_save_job.h"
#include "support/log.h"
#include "support/paths.h"
#include "ui/progress_window.h"
#include "ui/dialog_layout.h"

namespace {

const SaveFormatInfo formats[save_format_count] = {
    {"History file",
     "This format saves the history of actions and commands. You can edit it with a text editor to change what has "
     "been done or transform it into a script. This is the recommended way to save a project, however loading it "
     "might take some time as every action must be reproduced, and every image or sound file it uses must either "
     "remain in its original location or be found in the same folder as the history file.",
     {"Sonographica history file (.SGA)", "*.sga"}, ".sga"},
    {"Status file",
     "This format saves the project data as it is. It usually produces large files as it saves every pixel of every "
     "layer. On the other hand it loads faster and doesn't depend on other files.",
     {"Sonographica status file (.SGA)", "*.sga"}, ".sga"},
    {"TIFF, 32-bit",
     "Produces a one channel greyscale 32-bit floating point linear (no gamma compression) uncompressed TIFF image. "
     "This is the recommended image format.",
     {"Image file, 32-bit (.TIF)", "*.tif"}, ".tif"},
    {"PNG, 8-bit", "Produces a black & white RGB 8-bit per channel PNG image with a gamma of 2.0.",
     {"Image file, 8-bit (.PNG)", "*.png"}, ".png"},
    {"BMP, 8-bit",
     "Produces a black & white RGB 8-bit per channel BMP image with a gamma of 2.0. This was the default format of "
     "Sonographica before version 1.10.",
     {"Image file, 8-bit (.BMP)", "*.bmp"}, ".bmp"},
    {"JPEG,\xC2\xA0 quality 92%",
     "Produces a black & white JPEG image with a gamma of 2.0 and a compression quality of 92%. I don't see why anyone "
     "would want to use this, but here it is anyway.",
     {"Image file, 8-bit (.JPG)", "*.jpg"}, ".jpg"},
    {"WAV, 32-bit float mono", "Produces a mono 32-bit floating point WAV sound file.",
     {"WAV sound file (.WAV)", "*.wav"}, ".wav"},
    {"AIFF, 32-bit float mono", "Produces a mono 32-bit floating point AIFF sound file.",
     {"AIFF sound file (.AIF)", "*.aif"}, ".aif"},
    {"FLAC, lossless mono", "Produces a mono FLAC sound file, compressed without loss.",
     {"FLAC sound file (.FLAC)", "*.flac"}, ".flac"},
    {"OpenEXR, 32-bit float",
     "Produces a one channel 32-bit floating point linear OpenEXR image with lossless compression: the same values as "
     "the TIFF format, in a smaller file.",
     {"Image file, 32-bit (.EXR)", "*.exr"}, ".exr"},
};

}  // namespace

const SaveFormatInfo& save_format_info(int format) { return formats[std::clamp(format, 0, save_format_count - 1)]; }

void save_format_open(SaveFormatDialog& d)
{
    d.open = true;
    d.saved = false;
    d.failure.clear();
    d.wait_frames = -1;
}

void save_format_proceed(SaveFormatDialog& d, const FileChooser& chooser)
{
    // Two frames, so that the window is drawn once more without the button held.
    if (d.wait_frames == -1 && chooser.state.load() == chooser_idle)
        d.wait_frames = 2;
}

bool save_format_write(App& app, int format, std::string path)
{
    const SaveFormatInfo& f = save_format_info(format);
    if (path_extension_lower(path).empty())
        path += f.extension;
    if (format == save_history)
        return save_archive(app, path, false);
    if (path.find('"') != std::string::npos) {
        log_printf(stderr, "Error: %s can't be written in an archive line (it holds a double quote)\n", path.c_str());
        return false;
    }
    const std::string line = "Save \"" + path + "\"";
    stop_composite_loop(app.compositor);
    const int failed = app.archive.failed_lines;
    execute_archive_line(app, line, nullptr);
    // A save that failed (logged by the interpreter) is not recorded: nothing was written.
    if (app.archive.failed_lines != failed || !file_exists(path))
        return false;
    record_text(app, record_action, 0, nullptr, "// " + line + "\n");
    return true;
}

bool save_format_is_sound(int format) { return format == save_wav || format == save_aiff || format == save_flac; }

bool save_format_start_sound(App& app, SaveFormatDialog& d, int format, std::string path)
{
    const SaveFormatInfo& f = save_format_info(format);
    if (path_extension_lower(path).empty())
        path += f.extension;
    if (path.find('"') != std::string::npos) {
        log_printf(stderr, "Error: %s can't be written in an archive line (it holds a double quote)\n", path.c_str());
        return false;
    }
    stop_composite_loop(app.compositor);
    if (!sound_save_start(app, app.sound_save, path))
        return false;
    d.rendering = true;
    d.failure.clear();
    return true;
}

namespace {

// The end of a sound save of the window: the comment line recorded once the file is in place.
void take_sound_save(App& app, SaveFormatDialog& d)
{
    const std::string path = app.sound_save.path;
    const int outcome = sound_save_poll(app.sound_save);
    if (outcome == sound_save_running)
        return;
    d.rendering = false;
    if (outcome == sound_save_written) {
        record_text(app, record_action, 0, nullptr, "// Save \"" + path + "\"\n");
        d.saved = true;
        d.open = false;
    } else if (outcome == sound_save_cancelled) {
        d.failure = "Saving " + get_filename_from_path(path) + " cancelled: nothing was written";
    } else {
        d.failure = "\xE2\x9A\xA0 " + get_filename_from_path(path) + " could not be written (the log says why)";
    }
}

// The progress of the sound being written, in place of the window's buttons: the bar where
// "Proceed" was, "Cancel" where it is otherwise, what runs on the line of the messages.
void sound_save_progress(WidgetContext& ctx, App& app, SaveFormatDialog& d, const ResolvedLayout& lay)
{
    const SoundSaveJob& job = app.sound_save;
    const bool stopping = job.cancel.load();
    progress_bar(ctx, dialog_rect(lay, 110), job.progress.load());
    const bool cancel = button(ctx, 3112, dialog_rect(lay, 111), "Cancel");
    label(ctx, dialog_rect(lay, 112),
          stopping ? "Cancelling..." : "Rendering and writing " + get_filename_from_path(job.path));
    if ((cancel || d.window.close_clicked) && !stopping)
        sound_save_cancel(app.sound_save);
}

}  // namespace

void save_format_frame(WidgetContext& ctx, App& app, SaveFormatDialog& d, FileChooser& chooser, int screen_w,
                       int screen_h)
{
    if (!d.open)
        return;
    const int s = ctx.scale;
    dialog_size_window(dialog_save_format, d.window, s);
    if (!d.placed) {
        d.window.x = std::max(0, (screen_w - d.window.w) / 2);
        d.window.y = std::max(0, (screen_h - d.window.h) / 4);
        d.placed = true;
    }
    floating_window(ctx, 3001, d.window, "Saving Format Selection", screen_w, screen_h);
    const ResolvedLayout lay = dialog_resolve(dialog_save_format, d.window, s);
    label(ctx, dialog_rect(lay, 10), "Select output format:");
    const char* groups[3] = {"Sonographica Archive", "Image file", "Sound file"};
    for (int g = 0; g < 3; g++)
        label(ctx, dialog_rect(lay, 20 + g), groups[g], 0xFFB0C4DEu);
    for (int k = 0; k < save_format_count; k++)
        radio(ctx, 3030 + k, dialog_rect(lay, 30 + k), formats[k].radio, d.chosen, 30 + k);
    const int format = std::clamp(d.chosen - 30, 0, save_format_count - 1);
    box(ctx, dialog_rect(lay, 100));
    label(ctx, dialog_rect(lay, 102), "Format description:");
    label_wrapped(ctx, dialog_rect(lay, 101), formats[format].description);
    if (d.rendering) {
        sound_save_progress(ctx, app, d, lay);
        if (ctx.target.pixels == nullptr)
            take_sound_save(app, d);
        return;
    }
    const bool proceed = button(ctx, 3110, dialog_rect(lay, 110), "Proceed to Save dialog...");
    const bool cancel = button(ctx, 3111, dialog_rect(lay, 111), "Cancel");
    if (!d.failure.empty())
        label(ctx, dialog_rect(lay, 112), d.failure, 0xFFE8D080u);
    if (cancel || d.window.close_clicked) {
        d.open = false;
        return;
    }
    if (proceed)
        save_format_proceed(d, chooser);
    if (d.wait_frames > 0 && ctx.target.pixels == nullptr) {
        if (--d.wait_frames == 0) {
            d.wait_frames = -1;
            FileChooserRequest r;
            r.title = "Save";
            r.save = true;
            r.folder = app.last_folder;
            r.filters = {formats[format].filter};
            file_chooser_start(chooser, r);
            d.wait_frames = -2;  // the answer is awaited
        }
    }
    if (d.wait_frames == -2 && ctx.target.pixels == nullptr) {
        std::string path;
        const int answer = file_chooser_take(chooser, &path);
        if (answer == chooser_chosen) {
            d.wait_frames = -1;
            d.failure.clear();
            if (save_format_is_sound(format)) {
                if (!save_format_start_sound(app, d, format, path))
                    d.failure = "\xE2\x9A\xA0 " + get_filename_from_path(path) + " could not be written (the log says why)";
            } else if (save_format_write(app, format, path)) {
                d.saved = true;
                d.open = false;
            } else {
                d.failure = "\xE2\x9A\xA0 " + get_filename_from_path(path) + " could not be written (the log says why)";
            }
        } else if (answer == chooser_cancelled) {
            d.wait_frames = -1;  // the window stays for another try
        }
    }
}
