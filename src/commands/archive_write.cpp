#include "commands/archive_write.h"

#include <cstring>

#include "commands/app.h"
#include "layers/blend.h"
#include "project/base85.h"
#include "support/log.h"
#include "support/save_file.h"

// Names and the title go between double quotes on one line: a quote or a line break in
// them would cut the line, and an over-long one would make the reader ignore it.
static std::string quotable(const std::string& text)
{
    std::string out = text.substr(0, 2000);
    for (char& c : out) {
        if (c == '"')
            c = '\'';
        else if (c == '\n' || c == '\r')
            c = ' ';
    }
    return out;
}

static void write_layer(FILE* f, const Project& p, const Layer& l)
{
    fprintf(f, l.image ? "New layer \"%s\"\n" : "New separator \"%s\"\n", quotable(l.name).c_str());
    fprintf(f, "Blending %s\n", blending_keywords[l.blending >= 0 && l.blending < blend_mode_count ? l.blending : 0]);
    if (l.image) {
        fprintf(f, "Gamma %g\n", l.gamma);
    }
    if (l.centre_set)
        fprintf(f, "Central convolution point %d px , %d px\n", l.centre_x, l.centre_y);
    if (l.image) {
        write_base85(f, l.image, p.height, p.width);
        if (l.original_image && l.original_width > 0 && l.original_height > 0) {
            fprintf(f, "Original layer image (%d x %d)\n", l.original_width, l.original_height);
            write_base85(f, l.original_image, l.original_height, l.original_width);
        }
    }
    fprintf(f, "\n");
}

bool write_status_file(App& app, const std::string& path)
{
    Project& p = app.project;
    SaveFile save;
    FILE* f = save_begin(save, path, "Error: write_status_file()");
    if (!f)
        return false;
    fprintf(f, "Sonographica Archive v1.%g\n", 2.2);
    fprintf(f, "Title \"%s\"\n", p.title.empty() ? " " : quotable(p.title).c_str());
    fprintf(f, "\n");
    fprintf(f, "Clear image\n");
    fprintf(f, "Frequency range %g Hz - %g Hz\n", p.fmin, p.fmax);
    if (p.scale_base != 2.0f)
        fprintf(f, "Frequency scale %g\n", p.scale_base);
    fprintf(f, "Time resolution %g px/s\n", p.time_resolution);
    fprintf(f, "Dimensions %d px x %d px\n", p.width, p.height);
    if (p.lossless)
        fprintf(f, "Synthesis lossless\n");
    else if (p.live_synthesis)
        fprintf(f, "Synthesis live\n");
    else
        fprintf(f, "Synthesis noise\n");
    fprintf(f, "\n");

    if (p.original_sound_length >= 1 && (int)p.original_sound.size() >= p.original_sound_length) {
        fprintf(f, "New original sound (%d samples)\n", p.original_sound_length);
        fprintf(f, "Samplerate %d Hz\n", p.sample_rate);
        const float* row = p.original_sound.data();
        write_base85(f, &row, 1, p.original_sound_length);
        fprintf(f, "\n");
    }
    if (p.original_image && p.original_image_width > 0 && p.original_image_height > 0) {
        fprintf(f, "New original image (%d x %d)\n", p.original_image_width, p.original_image_height);
        write_base85(f, p.original_image, p.original_image_height, p.original_image_width);
        fprintf(f, "\n");
    }
    {
        std::lock_guard<std::mutex> lock(p.image_lock);
        for (const Layer& l : p.layers)
            write_layer(f, p, l);
    }
    fprintf(f, "Selected layer %d\n", p.current_layer);

    return save_end(save, "Error: write_status_file()");
}
