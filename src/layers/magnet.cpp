#include "layers/magnet.h"

#include <algorithm>
#include <cmath>

#include "engine/scale.h"

void magnet_snap(SprayTool& t, const Project& p, const ToolView& v, float sx, float sy, float width, int mode,
                 bool harmonics, float* x, float* y)
{
    if (t.magnet_valid && sx == t.magnet_pointer_x && sy == t.magnet_pointer_y) {
        *x = t.magnet_x;
        *y = t.magnet_y;
        return;
    }
    float px = tool_column_at(v, sx), py = tool_row_at(v, sy);
    float best_x = truncf(px), best_y = truncf(py);
    const Layer* l = p.current_layer >= 0 && p.current_layer < (int)p.layers.size() ? &p.layers[p.current_layer]
                                                                                      : nullptr;
    if (l && l->original_image && tool_view_usable(v) && std::isfinite(px) && std::isfinite(py)) {
        Image o = l->original_image;
        int ow = l->original_width, oh = l->original_height;
        float ry = (1.5f * width + 15.0f) * (v.visible_rows - 1.0f) / v.view_height;
        float rx = 6.0f * (v.visible_columns - 1.0f) / v.view_width;
        // The harmonic rows: an octave (r rows per log_B unit on a base-2 scale) and a twelfth
        // below, each with a little slack either way.
        float r = 0.0f;
        bool with_harmonics = harmonics && mode != magnet_mode_rectangle && p.scale_base > 1.0f && p.height >= 2 &&
                              p.fmin > 0.0f && p.fmax > p.fmin;
        if (with_harmonics) {
            r = (float)(p.height - 1) /
                (display_log_scale_base(p.fmax, p.scale_base) - display_log_scale_base(p.fmin, p.scale_base));
            with_harmonics = r > 0.0f && std::isfinite(r);
        }
        const float offsets[4] = {r + 0.5f, r - 2.5f, r * log2f(3.0f) + 0.5f, r * log2f(3.0f) - 2.5f};
        float y_lo = std::max(py - ry, 0.0f), x_lo = std::max(px - rx, 0.0f);
        float best = 0.0f;
        if (ry > 0.0f && rx > 0.0f && y_lo < (float)oh && x_lo < (float)ow)
            for (int j = (int)y_lo; j < oh && (float)j <= py + ry; j++) {
                float gy = spray_falloff(3.0f * ((float)j - py) / ry);
                for (int i = (int)x_lo; i < ow && (float)i <= px + rx; i++) {
                    float w = gy * spray_falloff(3.0f * ((float)i - px) / rx);
                    float s = w * o[j][i];
                    if (with_harmonics)
                        for (float off : offsets) {
                            float hj = truncf((float)j - off);
                            if (hj >= 0.0f && hj < (float)oh)
                                s += w * o[(int)hj][i];
                        }
                    if (s > best) {
                        best = s;
                        best_x = (float)i;
                        best_y = (float)j;
                    }
                }
            }
    }
    t.magnet_valid = true;
    t.magnet_pointer_x = sx;
    t.magnet_pointer_y = sy;
    t.magnet_x = *x = best_x;
    t.magnet_y = *y = best_y;
}
