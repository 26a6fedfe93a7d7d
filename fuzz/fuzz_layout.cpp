// Any byte string is a possible layout text: parsing refuses what it cannot use line by line,
// and whatever it keeps resolves to rectangles without fault, links only reaching back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "support/layout_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Layout layout = layout_parse(text, "fuzz");
    for (size_t i = 0; i < layout.elements.size(); i++) {
        const LayoutElement& e = layout.elements[i];
        bool earlier = e.link < 0;
        for (size_t k = 0; k < i && !earlier; k++)
            earlier = layout.elements[k].number == e.link;
        if (!earlier || e.dim.x < 0 || e.dim.y < 0 || e.dim.x > layout_max_units || e.off.x < 0 || e.off.x > 1)
            __builtin_trap();
    }
    for (double unit : {1.0, 60.0, 1000.0}) {
        const ResolvedLayout r = layout_resolve(layout, unit, 100, 100);
        if (r.rects.size() != layout.elements.size())
            __builtin_trap();
        for (const WidgetRect& rect : r.rects)
            if (rect.w < 0 || rect.h < 0)
                __builtin_trap();
    }
    return 0;
}
