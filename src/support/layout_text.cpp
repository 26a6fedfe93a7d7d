#include "support/layout_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "support/log.h"

namespace {

constexpr int max_element_number = 99999;
constexpr int variable_count = 100;

// One unsigned decimal part of a dozenal number: digits with an optional fraction and exponent.
bool decimal_part(std::string_view s, double* v)
{
    if (s.empty() || !(std::isdigit((unsigned char)s[0]) || s[0] == '.'))
        return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *v);
    return ec == std::errc() && end == s.data() + s.size() && std::isfinite(*v);
}

std::vector<std::string_view> split_tabs(std::string_view line)
{
    std::vector<std::string_view> parts;
    for (;;) {
        const size_t t = line.find('\t');
        parts.push_back(line.substr(0, t));
        if (t == std::string_view::npos)
            return parts;
        line.remove_prefix(t + 1);
    }
}

bool whole_number(std::string_view s, int lo, int hi, int* out)
{
    double v = 0;
    if (!layout_number(s, &v) || v != std::floor(v) || v < lo || v > hi)
        return false;
    *out = (int)v;
    return true;
}

// A printf format with exactly one floating conversion (flags, width, precision allowed) and
// any number of "%%": knob values are printed with it, so nothing else may reach printf.
bool safe_value_format(std::string_view f)
{
    if (f.size() > 32)
        return false;
    int conversions = 0;
    for (size_t i = 0; i < f.size(); i++) {
        if (f[i] != '%')
            continue;
        if (++i < f.size() && f[i] == '%')
            continue;
        while (i < f.size() && std::string_view("-+ #0").find(f[i]) != std::string_view::npos)
            i++;
        for (int k = 0; i < f.size() && std::isdigit((unsigned char)f[i]); i++)
            if (++k > 2)
                return false;
        if (i < f.size() && f[i] == '.') {
            i++;
            for (int k = 0; i < f.size() && std::isdigit((unsigned char)f[i]); i++)
                if (++k > 2)
                    return false;
        }
        if (i >= f.size() || std::string_view("fgeFGE").find(f[i]) == std::string_view::npos)
            return false;
        conversions++;
    }
    return conversions == 1;
}

int type_of(std::string_view name)
{
    static const char* const names[] = {"none",  "label",    "rect",    "button", "checkbox",
                                        "radio", "textedit", "selmenu", "knob"};
    for (int i = 0; i < (int)(sizeof names / sizeof names[0]); i++)
        if (name == names[i])
            return i;
    return -1;
}

struct Parser {
    Layout layout;
    LayoutPair variables[variable_count];
    bool defined[variable_count] = {};
    bool skipping = false;   // the current "elem" line was refused: its lines go with it
    std::string_view name;
    int line_number = 0;
    std::string_view line;

    bool refuse(const char* why)
    {
        log_printf(stderr, "Layout %.*s line %d refused (%s): %.*s\n", (int)name.size(), name.data(), line_number, why,
                   (int)std::min<size_t>(line.size(), 80), line.data());
        layout.refused_lines++;
        return false;
    }

    // "x\ty" or "vN": a pair of numbers.
    bool pair(const std::vector<std::string_view>& f, LayoutPair* p, bool one_allowed)
    {
        if (f.size() == 2 && f[1].size() > 1 && f[1][0] == 'v') {
            int n = 0;
            if (!whole_number(f[1].substr(1), 0, variable_count - 1, &n))
                return refuse("bad variable name");
            if (!defined[n])
                return refuse("undefined variable");
            *p = variables[n];
            return true;
        }
        if (f.size() == 2 && one_allowed) {
            if (!layout_number(f[1], &p->x))
                return refuse("not a number");
            p->y = p->x;
            return true;
        }
        if (f.size() != 3)
            return refuse(f.size() < 3 ? "missing values" : "too many values");
        if (!layout_number(f[1], &p->x) || !layout_number(f[2], &p->y))
            return refuse("not a number");
        return true;
    }

    bool element_line(const std::vector<std::string_view>& f, std::string_view keyword, LayoutElement& e)
    {
        if (keyword == "label" || keyword == "knob_unit") {
            if (f.size() < 2)
                return refuse("missing values");
            // The text is the rest of the line, tabs and all.
            const std::string_view text = line.substr(keyword.size() + 1);
            (keyword == "label" ? e.label : e.knob_unit) = std::string(text);
            return true;
        }
        if (keyword == "type") {
            if (f.size() != 2)
                return refuse(f.size() < 2 ? "missing values" : "too many values");
            const int t = type_of(f[1]);
            if (t < 0)
                return refuse("unknown type");
            e.type = t;
            return true;
        }
        if (keyword == "pos" || keyword == "dim") {
            LayoutPair p;
            if (!pair(f, &p, false))
                return false;
            if (keyword == "dim" && (p.x < 0 || p.y < 0 || p.x > layout_max_units || p.y > layout_max_units))
                return refuse("absurd size");
            if (std::fabs(p.x) > layout_max_units || std::fabs(p.y) > layout_max_units)
                return refuse("absurd position");
            (keyword == "pos" ? e.pos : e.dim) = p;
            return true;
        }
        if (keyword == "off") {
            LayoutPair p;
            if (!pair(f, &p, true))
                return false;
            if (p.x < 0 || p.x > 1 || p.y < 0 || p.y > 1)
                return refuse("offset outside 0 to 1");
            e.off = p;
            return true;
        }
        if (keyword == "link_pos_id") {
            if (f.size() != 2)
                return refuse(f.size() < 2 ? "missing values" : "too many values");
            std::string_view target = f[1], anchor;
            const size_t dot = target.find('.');
            if (dot != std::string_view::npos) {
                anchor = target.substr(dot + 1);
                target = target.substr(0, dot);
                if (anchor.size() != 2 || std::string_view("lmr_").find(anchor[0]) == std::string_view::npos ||
                    std::string_view("tmb_").find(anchor[1]) == std::string_view::npos)
                    return refuse("bad anchor letters");
            }
            int n = 0;
            if (!whole_number(target, 0, max_element_number, &n))
                return refuse("bad element number");
            // Only elements already complete: no link to itself or a later one, hence no cycle.
            if (n == e.number || !layout_find(layout, n))
                return refuse("link to an unknown or later element");
            e.link = n;
            e.link_h = anchor.empty() ? 0 : anchor[0];
            e.link_v = anchor.empty() ? 0 : anchor[1];
            return true;
        }
        if (keyword == "knob") {
            if (f.size() < 5)
                return refuse("missing values");
            if (f.size() > 6)
                return refuse("too many values");
            double lo = 0, def = 0, hi = 0;
            if (!layout_number(f[1], &lo) || !layout_number(f[2], &def) || !layout_number(f[3], &hi))
                return refuse("not a number");
            const int scale = f[4] == "linear" ? knob_linear : f[4] == "log" ? knob_log : f[4] == "tan" ? knob_tan : -1;
            if (scale < 0)
                return refuse("unknown knob scale");
            if (!(lo < hi) || def < lo || def > hi || (scale == knob_log && lo <= 0))
                return refuse("knob range out of order");
            if (f.size() == 6 && !safe_value_format(f[5]))
                return refuse("unusable value format");
            e.has_knob = true;
            e.knob_min = lo, e.knob_default = def, e.knob_max = hi, e.knob_scale = scale;
            if (f.size() == 6)
                e.knob_format = std::string(f[5]);
            return true;
        }
        if (keyword == "knob_arg") {
            double a = 0;
            if (f.size() != 2)
                return refuse(f.size() < 2 ? "missing values" : "too many values");
            if (!layout_number(f[1], &a))
                return refuse("not a number");
            if (!(a > 0) || a > 1e12)
                return refuse("knob parameter must be positive");
            e.knob_arg = a;
            return true;
        }
        return refuse("unknown keyword");
    }

    void take(std::string_view l)
    {
        line = l;
        if (line.empty() || line.substr(0, 2) == "//")
            return;
        const std::vector<std::string_view> f = split_tabs(line);
        const std::string_view keyword = f[0];
        if (keyword == "elem") {
            int n = 0;
            skipping = true;
            if (f.size() != 2)
                refuse(f.size() < 2 ? "missing values" : "too many values");
            else if (!whole_number(f[1], 0, max_element_number, &n))
                refuse("bad element number");
            else if (layout_find(layout, n))
                refuse("element number used twice");
            else {
                skipping = false;
                LayoutElement e;
                e.number = n;
                layout.elements.push_back(e);
            }
            return;
        }
        if (keyword == "v") {
            int n = 0;
            LayoutPair p;
            if (f.size() != 4)
                refuse(f.size() < 4 ? "missing values" : "too many values");
            else if (!whole_number(f[1], 0, variable_count - 1, &n))
                refuse("bad variable number");
            else if (!layout_number(f[2], &p.x) || !layout_number(f[3], &p.y))
                refuse("not a number");
            else if (std::fabs(p.x) > layout_max_units || std::fabs(p.y) > layout_max_units)
                refuse("absurd value");
            else
                variables[n] = p, defined[n] = true;
            return;
        }
        if (skipping)
            return;   // the refused "elem" line was logged once for all of them
        if (layout.elements.empty()) {
            refuse("no element started");
            return;
        }
        element_line(f, keyword, layout.elements.back());
    }
};

// Chains of links can add up far beyond any screen: kept well inside int.
int round_px(double v) { return (int)std::nearbyint(std::clamp(v, -1e8, 1e8)); }

}  // namespace

bool layout_number(std::string_view text, double* value)
{
    const bool negative = !text.empty() && text[0] == '-';
    if (negative)
        text.remove_prefix(1);
    double sum = 0, weight = 1;
    for (int part = 0; part < 3; part++) {
        const size_t semi = text.find(';');
        double v = 0;
        if (!decimal_part(text.substr(0, semi), &v))
            return false;
        sum += v / weight;
        weight *= 12;
        if (semi == std::string_view::npos) {
            if (!std::isfinite(sum))
                return false;
            *value = negative ? -sum : sum;
            return true;
        }
        text.remove_prefix(semi + 1);
    }
    return false;   // a fourth part
}

Layout layout_parse(std::string_view text, std::string_view name)
{
    Parser p;
    p.name = name;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view l = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        p.line_number++;
        if (!l.empty() && l.back() == '\r')
            l.remove_suffix(1);
        p.take(l);
    }
    return std::move(p.layout);
}

const LayoutElement* layout_find(const Layout& layout, int number)
{
    for (const LayoutElement& e : layout.elements)
        if (e.number == number)
            return &e;
    return nullptr;
}

ResolvedLayout layout_resolve(const Layout& layout, double unit_px, int origin_x, int origin_y)
{
    ResolvedLayout r;
    if (!(unit_px >= 1 && unit_px <= 1000)) {
        log_printf(stderr, "Layout unit of %g pixels refused\n", unit_px);
        return r;
    }
    // Boxes in units (y up) and each element's origin, for the links.
    struct Box {
        double x0, y0, x1, y1;
        LayoutPair origin;
    };
    std::vector<Box> boxes;
    boxes.reserve(layout.elements.size());
    bool first = true;
    for (const LayoutElement& e : layout.elements) {
        LayoutPair at = {0, 0};
        if (e.link >= 0) {
            size_t k = 0;
            while (k < boxes.size() && r.numbers[k] != e.link)
                k++;
            if (k < boxes.size()) {
                const Box& b = boxes[k];
                at = b.origin;
                if (e.link_h == 'l') at.x = b.x0;
                if (e.link_h == 'm') at.x = (b.x0 + b.x1) / 2;
                if (e.link_h == 'r') at.x = b.x1;
                if (e.link_v == 't') at.y = b.y1;
                if (e.link_v == 'm') at.y = (b.y0 + b.y1) / 2;
                if (e.link_v == 'b') at.y = b.y0;
            }
        }
        Box b;
        b.origin = {at.x + e.pos.x, at.y + e.pos.y};
        b.x0 = b.origin.x - e.off.x * e.dim.x;
        b.y0 = b.origin.y - e.off.y * e.dim.y;
        b.x1 = b.x0 + e.dim.x;
        b.y1 = b.y0 + e.dim.y;
        boxes.push_back(b);
        const int left = origin_x + round_px(b.x0 * unit_px), right = origin_x + round_px(b.x1 * unit_px);
        const int top = origin_y - round_px(b.y1 * unit_px), bottom = origin_y - round_px(b.y0 * unit_px);
        const WidgetRect px = {left, top, right - left, bottom - top};
        r.numbers.push_back(e.number);
        r.rects.push_back(px);
        if (first) {
            r.bounds = px;
            first = false;
        } else {
            const int x1 = std::max(r.bounds.x + r.bounds.w, right), y1 = std::max(r.bounds.y + r.bounds.h, bottom);
            r.bounds.x = std::min(r.bounds.x, left);
            r.bounds.y = std::min(r.bounds.y, top);
            r.bounds.w = x1 - r.bounds.x;
            r.bounds.h = y1 - r.bounds.y;
        }
    }
    return r;
}

WidgetRect layout_rect(const ResolvedLayout& r, int number)
{
    for (size_t i = 0; i < r.numbers.size(); i++)
        if (r.numbers[i] == number)
            return r.rects[i];
    return {};
}
