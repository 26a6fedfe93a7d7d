// PNG decoding through stb_image: the interface pictures are files of our own build, so the
// small decoder suffices here (pictures a user opens go through the media readers instead).
#include "support/png_load.h"

#include <cstdio>
#include <vector>

#include <stb_image.h>

#include "support/log.h"

Pixmap pixmap_decode_png(std::span<const uint8_t> bytes, const char* name)
{
    Pixmap img;
    if (bytes.empty() || bytes.size() > size_t(INT32_MAX)) {
        log_printf(stderr, "Cannot decode %s: %s\n", name, bytes.empty() ? "empty file" : "file too large");
        return img;
    }
    int w = 0, h = 0, channels = 0;
    // Dimensions first, so that an absurd header is refused before any allocation.
    if (!stbi_info_from_memory(bytes.data(), int(bytes.size()), &w, &h, &channels)) {
        log_printf(stderr, "Cannot decode %s: %s\n", name, stbi_failure_reason());
        return img;
    }
    if (w <= 0 || h <= 0 || int64_t(w) * h > pixmap_max_pixels) {
        log_printf(stderr, "Cannot decode %s: %d x %d pixels is too large\n", name, w, h);
        return img;
    }
    unsigned char* rgba = stbi_load_from_memory(bytes.data(), int(bytes.size()), &w, &h, &channels, 4);
    if (!rgba) {
        log_printf(stderr, "Cannot decode %s: %s\n", name, stbi_failure_reason());
        return img;
    }
    img.width = w;
    img.height = h;
    img.pixels.resize(size_t(w) * size_t(h));
    const unsigned char* p = rgba;
    for (uint32_t& px : img.pixels) {
        px = (uint32_t(p[3]) << 24) | (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | uint32_t(p[2]);
        p += 4;
    }
    stbi_image_free(rgba);
    return img;
}

Pixmap pixmap_load_png(const char* path)
{
    FILE* f = file_open_logged(path, "rb");
    if (!f)
        return {};
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
        if (bytes.size() + n > size_t(INT32_MAX)) {
            fclose(f);
            log_printf(stderr, "Cannot decode %s: file too large\n", path);
            return {};
        }
        bytes.insert(bytes.end(), buf, buf + n);
    }
    bool failed = ferror(f) != 0;
    fclose(f);
    if (failed) {
        log_printf(stderr, "Cannot read %s\n", path);
        return {};
    }
    return pixmap_decode_png(bytes, path);
}
