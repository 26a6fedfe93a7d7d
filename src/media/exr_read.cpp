// OpenEXR pictures through the OpenEXR library: half, float or integer channels, read as the
// linear floats they are. R, G, B (and A) make a colour picture, Y (and A) a grey one; a file
// with neither gives its first channel. The library throws on damaged files; the exceptions
// end here, as an empty result.
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <ImathBox.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "media/image_channels.h"
#include "media/image_read.h"

namespace {

// The library reads through a stream object of its own interface; this one reads memory.
struct ExrMemoryStream : Imf::IStream {
    const unsigned char* data;
    uint64_t size, pos = 0;
    ExrMemoryStream(const unsigned char* d, size_t n) : Imf::IStream("memory"), data(d), size(n) {}
    bool read(char c[], int n) override
    {
        if (n < 0 || (uint64_t)n > size - pos)
            throw std::runtime_error("the file ends early");
        memcpy(c, data + pos, (size_t)n);
        pos += (uint64_t)n;
        return pos < size;
    }
    uint64_t tellg() override { return pos; }
    void seekg(uint64_t to) override
    {
        if (to > size)
            throw std::runtime_error("a position past the end of the file");
        pos = to;
    }
};

// The picture as `channels` floats per pixel, row 0 first.
struct ExrPixels {
    int width = 0, height = 0, channels = 0;
    std::vector<float> samples;
};

// The library allocates each header attribute at the size the file states before it reads
// it, so a few bytes could claim gigabytes. The headers are walked here first: every
// attribute must lie within the file.
bool exr_attributes_within(const unsigned char* data, size_t size)
{
    if (size < 8)
        return false;
    const uint32_t version = (uint32_t)data[4] | (uint32_t)data[5] << 8 | (uint32_t)data[6] << 16 | (uint32_t)data[7] << 24;
    const bool multipart = (version & 0x1000) != 0;
    size_t pos = 8;
    // A name or a type: up to 255 bytes and a terminating zero.
    auto text = [&](size_t& at) {
        const size_t start = at;
        while (at < size && data[at] != 0 && at - start < 256)
            at++;
        if (at >= size || data[at] != 0)
            return false;
        at++;
        return true;
    };
    for (;;) {
        if (pos >= size)
            return false;
        if (data[pos] == 0) {   // the end of a header
            pos++;
            if (!multipart || (pos < size && data[pos] == 0))
                return true;
            continue;
        }
        if (!text(pos) || !text(pos) || size - pos < 4)
            return false;
        const int32_t length = (int32_t)((uint32_t)data[pos] | (uint32_t)data[pos + 1] << 8 |
                                         (uint32_t)data[pos + 2] << 16 | (uint32_t)data[pos + 3] << 24);
        pos += 4;
        if (length < 0 || (size_t)length > size - pos)
            return false;
        pos += (size_t)length;
    }
}

ExrPixels exr_decode_pixels(const unsigned char* data, size_t size)
{
    // The library refuses larger headers itself, before it allocates its offset tables and
    // line buffers (no side can exceed the pixel limit in force at the first picture).
    static std::once_flag limits;
    std::call_once(limits, [] {
        const int side = (int)std::min<long long>(picture_max_side, image_pixel_limit());
        Imf::Header::setMaxImageSize(side, side);
        Imf::Header::setMaxTileSize(4096, 4096);
    });
    ExrPixels out;
    if (!is_exr(data, size) || !exr_attributes_within(data, size))
        return out;
    try {
        ExrMemoryStream stream(data, size);
        Imf::InputFile file(stream, 0);   // decoded on this thread, no pool
        const Imath::Box2i window = file.header().dataWindow();
        const long long width = (long long)window.max.x - window.min.x + 1;
        const long long height = (long long)window.max.y - window.min.y + 1;
        if (width <= 0 || height <= 0 || !decoded_size_ok(height, width, "Picture"))
            return out;
        const Imf::ChannelList& list = file.header().channels();
        std::vector<std::string> names;
        if (list.findChannel("R") && list.findChannel("G") && list.findChannel("B"))
            names = {"R", "G", "B"};
        else if (list.findChannel("Y"))
            names = {"Y"};
        else if (list.begin() != list.end())
            names = {list.begin().name()};
        else
            return out;
        if (list.findChannel("A"))
            names.push_back("A");
        const int n = (int)names.size();
        out.samples.assign((size_t)width * (size_t)height * (size_t)n, 0.0f);
        // The slices start at the data window's origin, which may lie anywhere.
        const size_t xs = sizeof(float) * (size_t)n, ys = xs * (size_t)width;
        Imf::FrameBuffer frame;
        for (int c = 0; c < n; c++)
            frame.insert(names[(size_t)c], Imf::Slice::Make(Imf::FLOAT, out.samples.data() + c, window, xs, ys));
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);
        out.width = (int)width;
        out.height = (int)height;
        out.channels = n;
    } catch (const std::exception&) {
        return ExrPixels();   // the caller says that the picture could not be opened
    }
    return out;
}

}  // namespace

bool is_exr(const unsigned char* data, size_t size)
{
    return size >= 4 && data[0] == 0x76 && data[1] == 0x2F && data[2] == 0x31 && data[3] == 0x01;
}

Image exr_decode(const unsigned char* data, size_t size, int* width, int* height)
{
    *width = *height = 0;
    const ExrPixels p = exr_decode_pixels(data, size);
    if (p.samples.empty())
        return nullptr;
    Image image = image_alloc(p.height, p.width);
    if (!image)
        return nullptr;
    const float* s = p.samples.data();
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++, s += p.channels)
            image[y][x] = samples_to_grey(s, p.channels);
    *width = p.width;
    *height = p.height;
    return image;
}

Rgba8Raster exr_decode_rgba8(const unsigned char* data, size_t size)
{
    const ExrPixels p = exr_decode_pixels(data, size);
    Rgba8Raster out;
    if (p.samples.empty())
        return out;
    out.width = p.width;
    out.height = p.height;
    out.pixels.resize((size_t)p.width * (size_t)p.height * 4);
    const float* s = p.samples.data();
    for (size_t i = 0; i < (size_t)p.width * (size_t)p.height; i++, s += p.channels)
        samples_to_rgba8(s, p.channels, &out.pixels[i * 4]);
    return out;
}
