// Layout texts: dozenal numbers, the geometry of positions, offsets and links, refusal of
// malformed lines, and the floating windows' own layouts.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "stderr_capture.h"
#include "support/layout_text.h"
#include "ui/dialog_layout.h"
#include "ui/save_format.h"

namespace {

double number(const char* text)
{
    double v = NAN;
    return layout_number(text, &v) ? v : NAN;
}

void expect_rect(const WidgetRect& r, int x, int y, int w, int h)
{
    EXPECT_EQ(r.x, x);
    EXPECT_EQ(r.y, y);
    EXPECT_EQ(r.w, w);
    EXPECT_EQ(r.h, h);
}

bool overlap(const WidgetRect& a, const WidgetRect& b)
{
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

}  // namespace

TEST(LayoutText, DozenalNumbers)
{
    EXPECT_EQ(number("0;6"), 0.5);
    EXPECT_EQ(number("4;6"), 4.5);
    EXPECT_EQ(number("0;1;6"), 0.125);
    EXPECT_EQ(number("-1;6"), -1.5);   // the minus covers the whole number
    EXPECT_EQ(number("-0;0;6"), -1.0 / 24);
    EXPECT_EQ(number("7"), 7.0);
    EXPECT_EQ(number("4e4"), 40000.0);
    EXPECT_EQ(number("0.1"), 0.1);
    EXPECT_EQ(number("1;1;1"), 1 + 1.0 / 12 + 1.0 / 144);
    for (const char* bad : {"", "-", "--1", "+1", ";6", "1;", "1;;2", "1;2;3;4", "1;-6", "inf", "nan", "1 ", " 1",
                            "0x10", "1e999", "a"})
        EXPECT_TRUE(std::isnan(number(bad))) << '"' << bad << '"';
}

TEST(LayoutText, ConsoleResolvesToItsNumbers)
{
    const Layout& l = dialog_layout(dialog_console);
    ASSERT_EQ(l.refused_lines, 0);
    ASSERT_EQ(l.elements.size(), 4u);
    const LayoutElement* e10 = layout_find(l, 10);
    ASSERT_NE(e10, nullptr);
    EXPECT_EQ(e10->type, layout_type_textedit);
    EXPECT_EQ(e10->link, 0);
    EXPECT_EQ(e10->pos.x, 5.0 / 12);
    EXPECT_EQ(e10->pos.y, -1.0);
    EXPECT_EQ(e10->dim.x, 5 + 7.0 / 12);
    EXPECT_EQ(layout_find(l, 11)->label, "Run");
    EXPECT_EQ(layout_find(l, 12)->label, "Enter command:");
    EXPECT_EQ(layout_find(l, 12)->off.x, 0.0);
    EXPECT_EQ(layout_find(l, 12)->off.y, 0.0);   // one value sets both
    EXPECT_EQ(layout_find(l, 0)->label, "Console");

    // 120 pixels a unit (60 at scale 2), the origin at (1000, 500).
    const ResolvedLayout r = layout_resolve(l, 120, 1000, 500);
    // The frame: top-left 0;1;6 above the origin, 7;7 by 2;0;6.
    expect_rect(layout_rect(r, 0), 1000, 500 - 15, 910, 245);
    // The field: 0;5 right of the frame's corner, its own top-left 1 unit below it.
    expect_rect(layout_rect(r, 10), 1050, 500 + 105, 670, 60);
    // Run: 5;9 right of the field's origin, same height.
    expect_rect(layout_rect(r, 11), 1000 + 740, 500 + 105, 120, 60);
    // The label sits with its bottom-left 0;1 above the field's top-left.
    expect_rect(layout_rect(r, 12), 1050, 500 + 45, 310, 50);
    expect_rect(r.bounds, 1000, 485, 910, 245);
    expect_rect(layout_rect(r, 99), 0, 0, 0, 0);

    // At 60 pixels a unit the 0.5-pixel edges round to even, each edge on its own: the field
    // keeps its height of 30.
    const ResolvedLayout small = layout_resolve(l, 60, 0, 0);
    EXPECT_EQ(layout_rect(small, 10).h, 30);
    EXPECT_EQ(layout_rect(small, 10).w, 335);
    EXPECT_EQ(layout_rect(small, 11).x - (layout_rect(small, 10).x + layout_rect(small, 10).w), 10);
}

TEST(LayoutText, AnchorSuffixesPickPointsOfTheLinkedElement)
{
    // Element 1 spans x 1..3 and y -2.5..-1.5 (y up) with its origin at its centre (2, -2); each
    // other element is a point placed exactly at the anchor.
    std::string text = "elem\t1\ndim\t2\t1\noff\t0;6\t0;6\npos\t2\t-2\n";
    const char* anchors[] = {"1", "1.lt", "1.mb", "1.r_", "1._b", "1._t", "1.rb", "1.lb", "1.mm", "1.__", "1.l_"};
    for (int i = 0; i < 11; i++)
        text += "elem\t" + std::to_string(10 + i) + "\nlink_pos_id\t" + anchors[i] + "\ndim\t0\t0\n";
    const Layout l = layout_parse(text, "test");
    ASSERT_EQ(l.refused_lines, 0);
    const ResolvedLayout r = layout_resolve(l, 12, 0, 0);
    expect_rect(layout_rect(r, 1), 12, 18, 24, 12);
    const int expected[11][2] = {{24, 24}, {12, 18}, {24, 30}, {36, 24}, {24, 30}, {24, 18},
                                 {36, 30}, {12, 30}, {24, 24}, {24, 24}, {12, 24}};
    for (int i = 0; i < 11; i++) {
        const WidgetRect p = layout_rect(r, 10 + i);
        EXPECT_EQ(p.x, expected[i][0]) << anchors[i];
        EXPECT_EQ(p.y, expected[i][1]) << anchors[i];
    }

    // Offsets other than the corner, and a chain: 3 hangs below 2, which sits right of 1.
    const Layout chain = layout_parse("elem\t1\ndim\t1\t1\n"
                                      "elem\t2\nlink_pos_id\t1.rt\npos\t0;6\t0\ndim\t2\t0;6\n"
                                      "elem\t3\nlink_pos_id\t2.mb\noff\t0;6\t1\ndim\t1\t1\n",
                                      "test");
    ASSERT_EQ(chain.refused_lines, 0);
    const ResolvedLayout c = layout_resolve(chain, 24, 100, 100);
    expect_rect(layout_rect(c, 2), 136, 100, 48, 12);
    expect_rect(layout_rect(c, 3), 148, 112, 24, 24);
}

TEST(LayoutText, VariablesStandForPairs)
{
    const Layout l = layout_parse("v\t1\t2\t0;6\n"
                                  "v\t2\t-1\t1;6\n"
                                  "elem\t5\ndim\tv1\npos\tv2\n"
                                  "v\t1\t3\t3\n"        // redefined: later lines only
                                  "elem\t6\ndim\tv1\n"
                                  "elem\t7\ndim\tv9\n",  // never defined: refused
                                  "test");
    EXPECT_EQ(l.refused_lines, 1);
    const LayoutElement* e5 = layout_find(l, 5);
    ASSERT_NE(e5, nullptr);
    EXPECT_EQ(e5->dim.x, 2.0);
    EXPECT_EQ(e5->dim.y, 0.5);
    EXPECT_EQ(e5->pos.x, -1.0);
    EXPECT_EQ(e5->pos.y, 1.5);
    EXPECT_EQ(layout_find(l, 6)->dim.x, 3.0);
    EXPECT_EQ(layout_find(l, 7)->dim.x, 0.0);
}

TEST(LayoutText, MalformedLinesAreRefusedOneByOneAndTheRestKept)
{
    StderrCapture err;
    const Layout l = layout_parse("type\tlabel\n"                        // 1 before any element
                                  "elem\t1\n"
                                  "type\tbutton\n"
                                  "label\tOK\tstill the label\n"
                                  "colour\tred\n"                         // 2 unknown keyword
                                  "pos\t1\n"                              // 3 missing value
                                  "pos\t1\t2\t3\n"                        // 4 too many
                                  "pos\t1;x\t2\n"                         // 5 not a number
                                  "dim\t200\t1\n"                         // 6 absurd size
                                  "dim\t-1\t1\n"                          // 7 negative size
                                  "off\t1;6\t0\n"                         // 8 outside 0..1
                                  "type\tslider\n"                        // 9 unknown type
                                  "link_pos_id\t1\n"                      // 10 itself
                                  "link_pos_id\t2\n"                      // 11 not yet known (no cycle)
                                  "dim\t1;6\t0;6\n"
                                  "elem\t2\n"
                                  "link_pos_id\t1.xq\n"                   // 12 bad anchor
                                  "link_pos_id\t1.rb\n"
                                  "knob\t0\t5\t1\tlinear\n"               // 13 default beyond the range
                                  "knob\t0\t1\t10\tlog\n"                 // 14 log from 0
                                  "knob\t0\t1\t10\tlinear\t%s\n"          // 15 format that is no number's
                                  "knob\t0\t1\t10\tlinear\t%f%f\n"        // 16 two conversions
                                  "knob\t0\t1\t10\tcubic\n"               // 17 unknown scale
                                  "knob\t0\t1\t10\n"                      // 18 missing scale
                                  "knob\t1\t2\t4e4\ttan\t%.3f%%\n"
                                  "knob_arg\t0\n"                         // 19 not positive
                                  "knob_arg\t20\n"
                                  "knob_unit\tsec\n"
                                  "elem\t1\n"                             // 20 number used twice
                                  "label\tlost with its element\n"
                                  "elem\t1;6\n"                           // 21 not whole
                                  "elem\t3\n"
                                  "pos\tv100\n"                           // 22 no such variable number
                                  "v\t1\t1\n"                             // 23 missing value
                                  "label\n"                               // 24 no text
                                  "\n// a comment\r\n"
                                  "type\tcheckbox\r\n",
                                  "test");
    const std::string log = err.finish();
    EXPECT_EQ(l.refused_lines, 24);
    size_t lines = 0;
    for (char c : log)
        lines += c == '\n';
    EXPECT_EQ(lines, 24u) << log;
    EXPECT_NE(log.find("Layout test line 5 refused (unknown keyword): colour\tred"), std::string::npos) << log;

    ASSERT_EQ(l.elements.size(), 3u);
    const LayoutElement& e1 = l.elements[0];
    EXPECT_EQ(e1.type, layout_type_button);
    EXPECT_EQ(e1.label, "OK\tstill the label");
    EXPECT_EQ(e1.pos.x, 0.0);
    EXPECT_EQ(e1.dim.x, 1.5);
    EXPECT_EQ(e1.off.y, 1.0);
    EXPECT_EQ(e1.link, -1);
    const LayoutElement& e2 = l.elements[1];
    EXPECT_EQ(e2.link, 1);
    EXPECT_EQ(e2.link_h, 'r');
    EXPECT_EQ(e2.link_v, 'b');
    ASSERT_TRUE(e2.has_knob);
    EXPECT_EQ(e2.knob_min, 1.0);
    EXPECT_EQ(e2.knob_max, 4e4);
    EXPECT_EQ(e2.knob_scale, knob_tan);
    EXPECT_EQ(e2.knob_format, "%.3f%%");
    EXPECT_EQ(e2.knob_arg, 20.0);
    EXPECT_EQ(e2.knob_unit, "sec");
    EXPECT_EQ(l.elements[2].number, 3);
    EXPECT_EQ(l.elements[2].type, layout_type_checkbox);   // a CR LF line end reads the same

    // A unit no screen has resolves nothing instead of overflowing.
    EXPECT_TRUE(layout_resolve(l, 0, 0, 0).rects.empty());
    EXPECT_TRUE(layout_resolve(l, 1e9, 0, 0).rects.empty());
}

TEST(LayoutText, EveryWindowLayoutFitsItsFrameAtBothScales)
{
    for (int d = 0; d < dialog_layout_count; d++) {
        const Layout& l = dialog_layout(d);
        SCOPED_TRACE(dialog_layout_name(d));
        EXPECT_EQ(l.refused_lines, 0);
        ASSERT_FALSE(l.elements.empty());
        EXPECT_EQ(l.elements[0].number, 0);   // the frame comes first
        for (int scale = 1; scale <= 2; scale++) {
            FloatingWindow w;
            w.x = 37, w.y = 53;
            dialog_size_window(d, w, scale);
            const ResolvedLayout r = dialog_resolve(d, w, scale);
            expect_rect(layout_rect(r, 0), w.x, w.y, w.w, w.h);
            EXPECT_GT(w.w, 100 * scale);
            EXPECT_GT(w.h, 50 * scale);
            for (size_t i = 1; i < r.rects.size(); i++) {
                const WidgetRect& e = r.rects[i];
                SCOPED_TRACE("element " + std::to_string(r.numbers[i]) + " scale " + std::to_string(scale));
                EXPECT_GT(e.w, 0);
                EXPECT_GT(e.h, 0);
                // Inside the frame, below the title bar (18 pixels a scale step).
                EXPECT_GE(e.x, w.x + 4 * scale);
                EXPECT_LE(e.x + e.w, w.x + w.w - 4 * scale);
                EXPECT_GE(e.y, w.y + 18 * scale);
                EXPECT_LE(e.y + e.h, w.y + w.h - 2 * scale);
                // Nothing the pointer acts on overlaps another such element.
                const int ti = l.elements[i].type;
                if (ti == layout_type_label || ti == layout_type_rect || ti == layout_type_none)
                    continue;
                for (size_t j = i + 1; j < r.rects.size(); j++) {
                    const int tj = l.elements[j].type;
                    if (tj != layout_type_label && tj != layout_type_rect && tj != layout_type_none) {
                        EXPECT_FALSE(overlap(e, r.rects[j])) << "with element " << r.numbers[j];
                    }
                }
            }
        }
    }
}

TEST(LayoutText, KnobsTakeTheirRangesFromTheLayout)
{
    Knob k;
    dialog_knob_setup(k, dialog_extend_cut, 30);
    EXPECT_EQ(k.scale.min, 1.0);
    EXPECT_EQ(k.scale.max, 4e6);
    EXPECT_EQ(k.scale.kind, knob_tan);
    EXPECT_EQ(k.scale.arg, 2000.0);
    EXPECT_EQ(k.default_value, 1.0);
    EXPECT_STREQ(k.format, "%.0f");
    EXPECT_STREQ(k.unit, "px");
    dialog_knob_setup(k, dialog_volume_limiter, 20);
    EXPECT_EQ(k.scale.min, -30.0);
    EXPECT_EQ(k.default_value, -6.0);
    EXPECT_EQ(k.scale.kind, knob_linear);
    EXPECT_STREQ(k.unit, "dB");
    dialog_knob_setup(k, dialog_volume_limiter, 40);
    EXPECT_EQ(k.scale.kind, knob_log);
    EXPECT_EQ(k.scale.min, 0.1);
    EXPECT_EQ(k.default_value, 2.3);
}

TEST(LayoutText, EveryElementTheWindowsPlaceIsInTheirLayouts)
{
    // The elements each window's frame function asks for; a missing one would be placed at an
    // empty rectangle and never seen.
    const struct {
        int dialog;
        std::vector<int> elements;
    } uses[] = {
        {dialog_console, {10, 11, 12}},
        {dialog_about, {10, 20, 40}},
        {dialog_new_project, {10, 12, 13, 14, 16, 17, 18, 30, 32, 33, 34, 36, 37, 38, 50, 51, 60, 70, 72, 74, 80, 82, 83, 84, 85}},
        {dialog_open_import, {10, 14, 20, 22, 23, 24, 30, 32, 33, 34, 50, 51, 55, 60, 61}},
        {dialog_analysis_params, {220, 221, 222, 225, 226, 228, 230, 235, 236, 238, 240, 245, 246, 248, 250, 255, 256, 258,
                                  260, 265, 266, 268, 270, 275, 276, 278, 300, 301, 302, 305, 400, 401}},
        {dialog_save_format, {10, 20, 21, 22, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 100, 101, 102, 110, 111, 112}},
        {dialog_extend_cut, {10, 11, 12, 20, 22, 30, 32, 50, 60, 70, 80, 90}},
        {dialog_volume_limiter, {10, 20, 30, 40, 50}},
        {dialog_audio_output, {10, 11, 20, 21, 30, 40, 41, 42, 43, 44, 45, 46, 50}},
        {dialog_file_chooser, {1, 2, 3, 4}},
    };
    for (const auto& u : uses)
        for (int n : u.elements)
            EXPECT_NE(layout_find(dialog_layout(u.dialog), n), nullptr) << dialog_layout_name(u.dialog) << " element " << n;
    // Knob elements carry their range.
    for (int n : {10, 20, 30})
        EXPECT_TRUE(layout_find(dialog_layout(dialog_extend_cut), n)->has_knob);
    for (int n : {20, 30, 40})
        EXPECT_TRUE(layout_find(dialog_layout(dialog_volume_limiter), n)->has_knob);
}

TEST(LayoutText, SaveWindowLayoutNamesTheFormatsItOffers)
{
    // The save window draws its radios with the format table's names; the layout describes them.
    const Layout& l = dialog_layout(dialog_save_format);
    for (int k = 0; k < save_format_count; k++) {
        const LayoutElement* e = layout_find(l, 30 + k);
        ASSERT_NE(e, nullptr) << k;
        EXPECT_EQ(e->type, layout_type_radio);
        EXPECT_EQ(e->label, std::string(save_format_info(k).radio));
    }
}
