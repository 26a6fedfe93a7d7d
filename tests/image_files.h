// Test-side writers of TIFF and FITS files in every variant the readers accept, so the
// readers are checked against files that were not produced by the program's own writer.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

struct TiffSpec {
    bool big_endian = false;
    int width = 1, height = 1, samples = 1, bits = 8;
    int sample_format = 1;                 // 1 unsigned, 3 float
    int compression = 1, predictor = 1, planar = 1, photometric = 1;
    int rows_per_strip = 0;                // 0: one strip per plane
    bool byte_counts = true;
    bool directory_first = false;          // directories before the strips (truncation cuts pixels)
    bool skipped_directory = false;        // a PackBits directory of another size comes first
};

inline uint32_t float_bits(float f)
{
    uint32_t u;
    __builtin_memcpy(&u, &f, 4);
    return u;
}

namespace image_files_detail {

struct Writer {
    bool big;
    std::vector<unsigned char> b;
    void u16(uint32_t v)
    {
        b.push_back((unsigned char)(big ? v >> 8 : v));
        b.push_back((unsigned char)(big ? v : v >> 8));
    }
    void u32(uint32_t v)
    {
        u16(big ? v >> 16 : v & 0xFFFF);
        u16(big ? v & 0xFFFF : v >> 16);
    }
    void sample(uint32_t v, int bytes)
    {
        if (bytes == 1)
            b.push_back((unsigned char)v);
        else if (bytes == 2)
            u16(v);
        else
            u32(v);
    }
};

struct Entry {
    uint16_t tag, type;
    std::vector<uint32_t> values;
};

// Entries, link and out-of-line arrays of one directory placed at `base`.
inline std::vector<unsigned char> directory(bool big, size_t base, const std::vector<Entry>& entries, uint32_t next)
{
    Writer head{big, {}}, arrays{big, {}};
    const size_t arrays_at = base + 2 + 12 * entries.size() + 4;
    head.u16((uint32_t)entries.size());
    for (const Entry& e : entries) {
        head.u16(e.tag);
        head.u16(e.type);
        head.u32((uint32_t)e.values.size());
        const size_t size = e.type == 3 ? 2 : 4;
        Writer* into = &head;
        if (e.values.size() * size > 4) {
            head.u32((uint32_t)(arrays_at + arrays.b.size()));
            into = &arrays;
        }
        const size_t start = into->b.size();
        for (uint32_t v : e.values)
            size == 2 ? into->u16(v) : into->u32(v);
        while (into == &head && into->b.size() - start < 4)
            into->b.push_back(0);
    }
    head.u32(next);
    head.b.insert(head.b.end(), arrays.b.begin(), arrays.b.end());
    return head.b;
}

} // namespace image_files_detail

// TIFF-flavoured LZW: clear code first, codes growing one early, a clear when the table fills.
inline std::vector<unsigned char> lzw_encode(const std::vector<unsigned char>& in)
{
    std::vector<unsigned char> out;
    uint64_t acc = 0;
    int pending = 0, width = 9, next = 258;
    auto put = [&](int code) {
        acc = acc << width | (uint64_t)code;
        pending += width;
        while (pending >= 8) {
            out.push_back((unsigned char)(acc >> (pending - 8)));
            pending -= 8;
        }
    };
    std::map<uint32_t, int> table;
    auto grow = [&] {
        next++;
        if (next == 4094) {
            put(256);
            table.clear();
            next = 258;
            width = 9;
        } else if (next > (1 << width) - 1) {
            width++;
        }
    };
    put(256);
    if (!in.empty()) {
        int w = in[0];
        for (size_t i = 1; i < in.size(); i++) {
            const uint32_t key = (uint32_t)w << 8 | in[i];
            auto it = table.find(key);
            if (it != table.end()) {
                w = it->second;
                continue;
            }
            put(w);
            table[key] = next;
            w = in[i];
            grow();
        }
        put(w);
        grow();
    }
    put(257);
    if (pending > 0)
        out.push_back((unsigned char)(acc << (8 - pending)));
    return out;
}

// `values` holds width × height × samples raw samples, pixel by pixel (float bit patterns
// for 32-bit samples).
inline std::vector<unsigned char> build_tiff(const TiffSpec& s, const std::vector<uint32_t>& values)
{
    using namespace image_files_detail;
    const int bytes = s.bits / 8;
    const int planes = s.planar == 2 ? s.samples : 1;
    const int per_pixel = s.planar == 2 ? 1 : s.samples;
    const int rows_per_strip = s.rows_per_strip ? s.rows_per_strip : s.height;
    const int strips_per_plane = (s.height + rows_per_strip - 1) / rows_per_strip;
    const uint32_t mask = s.bits == 32 ? 0xFFFFFFFFu : (1u << s.bits) - 1;

    std::vector<std::vector<unsigned char>> strips;
    for (int p = 0; p < planes; p++)
        for (int k = 0; k < strips_per_plane; k++) {
            Writer w{s.big_endian, {}};
            for (int y = k * rows_per_strip; y < std::min(s.height, (k + 1) * rows_per_strip); y++) {
                std::vector<uint32_t> row;
                for (int x = 0; x < s.width; x++)
                    for (int c = 0; c < per_pixel; c++)
                        row.push_back(values[((size_t)y * s.width + x) * s.samples + (s.planar == 2 ? p : c)]);
                if (s.predictor == 2)
                    for (size_t i = row.size(); i-- > (size_t)per_pixel;)
                        row[i] = (row[i] - row[i - per_pixel]) & mask;
                for (uint32_t v : row)
                    w.sample(v, bytes);
            }
            strips.push_back(s.compression == 5 ? lzw_encode(w.b) : w.b);
        }

    auto entries_for = [&](const std::vector<uint32_t>& offsets) {
        std::vector<uint32_t> counts;
        for (auto& strip : strips)
            counts.push_back((uint32_t)strip.size());
        std::vector<Entry> e = {
            {256, 4, {(uint32_t)s.width}},
            {257, 4, {(uint32_t)s.height}},
            {258, 3, std::vector<uint32_t>((size_t)s.samples, (uint32_t)s.bits)},
            {259, 3, {(uint32_t)s.compression}},
            {262, 3, {(uint32_t)s.photometric}},
            {273, 4, offsets},
            {277, 3, {(uint32_t)s.samples}},
            {278, 4, {(uint32_t)rows_per_strip}},
        };
        if (s.byte_counts)
            e.push_back({279, 4, counts});
        e.push_back({284, 3, {(uint32_t)s.planar}});
        if (s.predictor != 1)
            e.push_back({317, 3, {(uint32_t)s.predictor}});
        e.push_back({339, 3, std::vector<uint32_t>((size_t)s.samples, (uint32_t)s.sample_format)});
        return e;
    };
    const std::vector<Entry> skipped = {
        {256, 4, {7}}, {257, 4, {5}}, {258, 3, {8}}, {259, 3, {32773}}, {262, 3, {1}}, {273, 4, {8}},
    };

    // Sizes first (offsets do not change them), then the real layout.
    const std::vector<uint32_t> zeros(strips.size(), 0);
    const size_t skipped_size = s.skipped_directory ? directory(s.big_endian, 0, skipped, 0).size() : 0;
    const size_t main_size = directory(s.big_endian, 0, entries_for(zeros), 0).size();
    // Strips are packed without gaps; only a directory after them starts on an even byte.
    size_t data_size = 0;
    for (auto& strip : strips)
        data_size += strip.size();
    const size_t gap = !s.directory_first && (data_size & 1);

    const size_t dirs_at = s.directory_first ? 8 : 8 + data_size + gap;
    const size_t data_at = s.directory_first ? 8 + skipped_size + main_size : 8;
    std::vector<uint32_t> offsets;
    for (size_t at = data_at, k = 0; k < strips.size(); k++) {
        offsets.push_back((uint32_t)at);
        at += strips[k].size();
    }
    const size_t main_at = dirs_at + skipped_size;
    std::vector<unsigned char> dirs;
    if (s.skipped_directory)
        dirs = directory(s.big_endian, dirs_at, skipped, (uint32_t)main_at);
    const std::vector<unsigned char> main = directory(s.big_endian, main_at, entries_for(offsets), 0);
    dirs.insert(dirs.end(), main.begin(), main.end());

    Writer file{s.big_endian, {}};
    file.b = s.big_endian ? std::vector<unsigned char>{'M', 'M', 0, 42} : std::vector<unsigned char>{'I', 'I', 42, 0};
    file.u32((uint32_t)dirs_at);
    std::vector<unsigned char> data;
    for (auto& strip : strips)
        data.insert(data.end(), strip.begin(), strip.end());
    if (gap)
        data.push_back(0);
    if (s.directory_first) {
        file.b.insert(file.b.end(), dirs.begin(), dirs.end());
        file.b.insert(file.b.end(), data.begin(), data.end());
    } else {
        file.b.insert(file.b.end(), data.begin(), data.end());
        file.b.insert(file.b.end(), dirs.begin(), dirs.end());
    }
    return file.b;
}

// A FITS file: the given extra cards after the axes, values big-endian of |bitpix| / 8 bytes.
// Without `pad_header` the data follow the END card directly.
inline std::vector<unsigned char> build_fits(int width, int height, int bitpix, const std::vector<uint32_t>& values,
                                             const std::vector<std::string>& extra_cards, bool pad_header = true)
{
    std::vector<std::string> cards = {"SIMPLE  =                    T"};
    char card[96];
    snprintf(card, sizeof card, "BITPIX  = %20d", bitpix);
    cards.push_back(card);
    cards.push_back("NAXIS   =                    2");
    snprintf(card, sizeof card, "NAXIS1  = %20d", width);
    cards.push_back(card);
    snprintf(card, sizeof card, "NAXIS2  = %20d", height);
    cards.push_back(card);
    cards.insert(cards.end(), extra_cards.begin(), extra_cards.end());
    cards.push_back("END");
    std::vector<unsigned char> file;
    for (std::string c : cards) {
        c.resize(80, ' ');
        file.insert(file.end(), c.begin(), c.end());
    }
    if (pad_header)
        file.resize((file.size() + 2879) / 2880 * 2880, ' ');
    const int bytes = (bitpix < 0 ? -bitpix : bitpix) / 8;
    for (uint32_t v : values)
        for (int k = bytes - 1; k >= 0; k--)
            file.push_back((unsigned char)(v >> (8 * k)));
    file.resize((file.size() + 2879) / 2880 * 2880, 0);
    return file;
}
