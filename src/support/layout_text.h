// Layout texts: the floating windows describe their elements as text, one keyword a line with
// tab-separated values, and place their widgets from the rectangles the text resolves to.
//
//   elem N              starts element N (0 to 99999); code addresses elements by N
//   type NAME           none, label, rect, button, checkbox, radio, textedit, selmenu, knob
//   label TEXT          the element's text (the rest of the line, tabs included)
//   pos X Y | pos vN    the element's origin, relative to the point it is linked to
//   dim W H | dim vN    its size (0 or more)
//   off X [Y]           where the origin lies in the element, as fractions of its size
//                       (0..1; one value sets both). Default 0 1: the top-left corner
//   link_pos_id N[.HV]  positions are relative to earlier element N: to its origin, or with
//                       two letters to one of its points (below)
//   v N X Y             variable N (0 to 99) holding a pair, for "pos vN" and "dim vN"
//   knob MIN DEF MAX SCALE [FORMAT]   a knob's range, default, scale (linear, log, tan) and
//                       printf format of its value (one %f, %g or %e conversion)
//   knob_arg A          the "tan" scale's parameter (> 0)
//   knob_unit TEXT      the unit shown after the value
// Empty lines and lines starting with "//" are skipped.
//
// Geometry. One unit of pos and dim is `unit_px` pixels (the callers use 60 logical pixels
// times the interface scale); x grows to the right and y grows UP, so that "off 0 1" is the
// top-left corner and a positive y lies above. Numbers are dozenal fractions: "a;b;c" is
// a + b/12 + c/144 ("0;6" = 0.5, "0;1;6" = 0.125); a leading minus applies to the whole number;
// each part may be a plain decimal ("0.1", "4e4").
//
// Anchor letters of "link_pos_id N.HV": H picks the linked element's left edge (l), middle (m)
// or right edge (r); V its top (t), middle (m) or bottom (b); "_" on either axis keeps the
// linked element's own origin on that axis. "10.r_" is 10's right edge at 10's origin height;
// "10._b" is 10's bottom at 10's origin x. Without letters the link point is the origin.
//
// Everything is checked: a line with an unknown keyword, missing or extra values, a number
// that does not parse, an absurd size or offset, a link to an unknown, later or own element,
// or an undefined variable is refused with one log line and the rest of the text is kept.
// Links only reach earlier elements, so cycles cannot form.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "support/widgets.h"

enum : int {
    layout_type_none = 0,
    layout_type_label,
    layout_type_rect,
    layout_type_button,
    layout_type_checkbox,
    layout_type_radio,
    layout_type_textedit,
    layout_type_selmenu,
    layout_type_knob,
};

// Positions and sizes beyond this many units (6000 pixels at the default unit) are refused.
constexpr double layout_max_units = 100.0;

struct LayoutPair {
    double x = 0, y = 0;
};

struct LayoutElement {
    int number = 0;
    int type = layout_type_none;
    std::string label;
    LayoutPair pos, dim;
    LayoutPair off = {0, 1};
    int link = -1;                  // element number; -1: the layout's own origin
    char link_h = 0, link_v = 0;    // anchor letters; 0: the linked element's origin
    bool has_knob = false;
    double knob_min = 0, knob_default = 0, knob_max = 1;
    int knob_scale = knob_linear;
    double knob_arg = 1;
    std::string knob_format = "%g";
    std::string knob_unit;
};

struct Layout {
    std::vector<LayoutElement> elements;   // in the order of the text
    int refused_lines = 0;
};

// Reads a dozenal-fraction number (the whole text); false when it is not one.
bool layout_number(std::string_view text, double* value);
// `name` only labels the log lines of refused lines.
Layout layout_parse(std::string_view text, std::string_view name);
const LayoutElement* layout_find(const Layout& layout, int number);

struct ResolvedLayout {
    std::vector<int> numbers;
    std::vector<WidgetRect> rects;   // pixels, y down, one per element in text order
    WidgetRect bounds;               // the union of every rectangle
};

// Places the elements for a unit of `unit_px` pixels with the layout's origin (0, 0) at the
// pixel (origin_x, origin_y). Edges are rounded separately, so elements that touch in units
// touch in pixels. A unit outside 1 to 1000 pixels resolves nothing (logged).
ResolvedLayout layout_resolve(const Layout& layout, double unit_px, int origin_x, int origin_y);
// The element's rectangle; an empty one at (0, 0) when the layout has no such element.
WidgetRect layout_rect(const ResolvedLayout& r, int number);
