// The picture decoders of the common formats: PNG, JPEG and GIF give the pixels stb_image
// gave before them, WebP what PIL reads, OpenEXR the floats that were written.
#include <gtest/gtest.h>

#include <ImfHeader.h>
#include <ImfRgbaFile.h>
#include <ImathBox.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stb_image.h>
#include <stb_image_write.h>
#include <string>
#include <vector>

#include "media/file_names.h"
#include "media/image_read.h"
#include "media/image_write.h"
#include "testlib.h"

namespace {

std::string join(std::initializer_list<std::string> parts)
{
    std::string s;
    for (const std::string& p : parts)
        s += p;
    return s;
}

bool have_program(const char* name)
{
    return run_command(join({"command -v ", name, " >/dev/null 2>&1"})) == 0;
}

constexpr int test_w = 37, test_h = 23;

// Gradients in each channel, a hard edge and a band of partly transparent pixels.
std::vector<unsigned char> test_rgba()
{
    std::vector<unsigned char> p((size_t)test_w * test_h * 4);
    for (int y = 0; y < test_h; y++)
        for (int x = 0; x < test_w; x++) {
            unsigned char* q = &p[((size_t)y * test_w + x) * 4];
            q[0] = (unsigned char)(x * 7);
            q[1] = (unsigned char)(y * 11);
            q[2] = x > 20 ? 230 : 15;
            q[3] = y < 5 ? (unsigned char)(x * 6) : 255;
        }
    return p;
}

// What stb_image makes of the file: the decoder these formats went through before.
Rgba8Raster stb_reference(const std::vector<unsigned char>& file)
{
    Rgba8Raster r;
    int n = 0;
    unsigned char* p = stbi_load_from_memory(file.data(), (int)file.size(), &r.width, &r.height, &n, 4);
    if (p)
        r.pixels.assign(p, p + (size_t)r.width * r.height * 4);
    stbi_image_free(p);
    return r;
}

int largest_difference(const Rgba8Raster& a, const Rgba8Raster& b)
{
    int d = 0;
    for (size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); i++)
        d = std::max(d, std::abs((int)a.pixels[i] - (int)b.pixels[i]));
    return d;
}

class PictureFiles : public testing::Test {
protected:
    TempDir dir;
    std::string png;   // the RGBA original

    void SetUp() override
    {
        png = dir.file("original.png");
        const std::vector<unsigned char> rgba = test_rgba();
        ASSERT_TRUE(stbi_write_png(png.c_str(), test_w, test_h, 4, rgba.data(), test_w * 4));
    }

    // The original converted by ImageMagick; empty when it is not installed.
    std::vector<unsigned char> convert(const std::string& options, const std::string& name)
    {
        const std::string out = dir.file(name);
        if (run_command(join({"convert '", png, "' ", options, " '", out, "' 2>&1"})) != 0)
            return {};
        return read_binary_file(out);
    }
};

TEST_F(PictureFiles, PngAndGifReadTheSamePixelsAsBefore)
{
    if (!have_program("convert"))
        GTEST_SKIP() << "ImageMagick is not installed: only the PNG written here is compared";
    struct Case {
        const char* options;
        const char* name;
    } cases[] = {
        {"", "rgba.png"},
        {"-alpha off", "rgb.png"},
        {"-colorspace Gray -alpha off", "grey.png"},
        {"-colorspace Gray", "grey_alpha.png"},
        {"-depth 16", "sixteen.png"},
        {"-interlace PNG", "adam7.png"},
        {"-alpha off -colors 16 PNG8:", "palette.png"},
        {"", "transparent.gif"},
        {"-alpha off", "opaque.gif"},
        {"-interlace GIF", "interlaced.gif"},
        {"-alpha off -colorspace Gray", "grey.gif"},
    };
    for (const Case& c : cases) {
        std::string options = c.options, name = c.name;
        // "PNG8:" prefixes the output name.
        std::vector<unsigned char> file;
        if (options.size() >= 5 && options.compare(options.size() - 5, 5, "PNG8:") == 0) {
            options.resize(options.size() - 5);
            ASSERT_EQ(run_command(join({"convert '", png, "' ", options, " 'PNG8:", dir.file(name), "'"})), 0);
            file = read_binary_file(dir.file(name));
        } else {
            file = convert(options, name);
        }
        ASSERT_FALSE(file.empty()) << name;
        const Rgba8Raster before = stb_reference(file);
        ASSERT_FALSE(before.empty()) << name;
        const Rgba8Raster now = name.find(".gif") != std::string::npos ? gif_decode_rgba8(file.data(), file.size())
                                                                         : png_decode_rgba8(file.data(), file.size());
        EXPECT_EQ(now.width, test_w) << name;
        EXPECT_EQ(now.height, test_h) << name;
        EXPECT_EQ(now.pixels, before.pixels) << name;
        // And through the file path.
        EXPECT_EQ(load_image_rgba8(dir.file(name)).pixels, before.pixels) << name;
    }
}

TEST_F(PictureFiles, JpegReadsWithinRoundingOfBefore)
{
    std::vector<std::vector<unsigned char>> files;
    const std::vector<unsigned char> rgba = test_rgba();
    ASSERT_TRUE(stbi_write_jpg(dir.file("q90.jpg").c_str(), test_w, test_h, 4, rgba.data(), 90));
    files.push_back(read_binary_file(dir.file("q90.jpg")));
    if (have_program("convert")) {
        files.push_back(convert("-colorspace Gray -quality 85", "grey.jpg"));
        files.push_back(convert("-interlace JPEG -quality 75", "progressive.jpg"));
        files.push_back(convert("-sampling-factor 4:2:0 -quality 80", "subsampled.jpg"));
    }
    for (size_t i = 0; i < files.size(); i++) {
        ASSERT_FALSE(files[i].empty()) << i;
        const Rgba8Raster before = stb_reference(files[i]);
        const Rgba8Raster now = jpeg_decode_rgba8(files[i].data(), files[i].size());
        ASSERT_EQ(now.width, test_w) << i;
        ASSERT_EQ(now.height, test_h) << i;
        // The two decoders round their transforms and upsampling a little differently.
        EXPECT_LE(largest_difference(now, before), 3) << i;
        double sum = 0;
        for (size_t k = 0; k < now.pixels.size(); k++)
            sum += std::abs((int)now.pixels[k] - (int)before.pixels[k]);
        EXPECT_LT(sum / (double)now.pixels.size(), 0.5) << i;
        for (size_t k = 3; k < now.pixels.size(); k += 4)
            ASSERT_EQ(now.pixels[k], 255) << i;
    }
}

TEST_F(PictureFiles, WebpReadsWhatPilReads)
{
    // The system's Python, where Debian puts PIL.
    std::string python;
    for (const char* candidate : {"/usr/bin/python3", "python3"})
        if (run_command(join({candidate, " -c 'import PIL.Image, PIL.features; assert PIL.features.check(\"webp\")' 2>/dev/null"})) == 0) {
            python = candidate;
            break;
        }
    if (python.empty())
        GTEST_SKIP() << "no Python with PIL and WebP support (python3-pil): nothing to compare WebP with";
    const std::string script = dir.file("webp.py");
    write_text_file(script,
                    "import sys\n"
                    "from PIL import Image\n"
                    "src, out = sys.argv[1], sys.argv[2]\n"
                    "im = Image.open(src)\n"
                    "im.save(out + '/lossless.webp', lossless=True, exact=True)\n"
                    "im.save(out + '/lossy.webp', quality=70)\n"
                    "im.convert('RGB').save(out + '/opaque.webp', quality=80)\n"
                    "for name in ('lossless', 'lossy', 'opaque'):\n"
                    "    w = Image.open(out + '/' + name + '.webp').convert('RGBA')\n"
                    "    open(out + '/' + name + '.rgba', 'wb').write(w.tobytes())\n");
    ASSERT_EQ(run_command(join({python, " '", script, "' '", png, "' '", dir.path, "'"})), 0);
    for (const char* name : {"lossless", "lossy", "opaque"}) {
        const std::string webp = dir.file(join({name, ".webp"}));
        const std::vector<unsigned char> file = read_binary_file(webp);
        const Rgba8Raster r = webp_decode_rgba8(file.data(), file.size());
        ASSERT_EQ(r.width, test_w) << name;
        ASSERT_EQ(r.height, test_h) << name;
        EXPECT_EQ(r.pixels, read_binary_file(dir.file(join({name, ".rgba"})))) << name;
    }
    EXPECT_EQ(read_binary_file(dir.file("lossless.rgba")), test_rgba());
    // A WebP file is a picture by its name, and opens as one.
    EXPECT_EQ(classify_file_name("x.WEBP"), file_class_image);
    int w = 0, h = 0;
    testing::internal::CaptureStderr();
    Image grey = load_image_grey(dir.file("lossless.webp"), &w, &h);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(grey);
    EXPECT_EQ(w, test_w);
    const std::vector<unsigned char> rgba = test_rgba();
    const unsigned char* p = &rgba[((size_t)10 * test_w + 30) * 4];
    const float v = (float)(p[0] + p[1] + p[2]) * 0.0013071896f;
    EXPECT_EQ(grey[10][30], v * v);
    image_free(grey);
}

TEST(ExrPictures, SavedFloatsReadBackBitForBit)
{
    TempDir dir;
    const int w = 19, h = 11;
    Image picture = image_alloc(h, w);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            picture[y][x] = std::pow(1.37f, (float)(x - y)) * (x % 3 ? 1.0f : 1e-30f);   // tiny ones too
    const std::string exr = dir.file("p.exr"), tiff = dir.file("p.tiff");
    ASSERT_TRUE(export_image(picture, w, h, exr));
    ASSERT_TRUE(export_image(picture, w, h, tiff));
    int ew = 0, eh = 0, tw = 0, th = 0;
    Image from_exr = load_image_grey(exr, &ew, &eh);
    Image from_tiff = load_tiff_float(tiff, &tw, &th);
    ASSERT_TRUE(from_exr);
    ASSERT_TRUE(from_tiff);
    ASSERT_EQ(ew, w);
    ASSERT_EQ(eh, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            ASSERT_EQ(memcmp(&from_exr[y][x], &from_tiff[y][x], 4), 0) << x << "," << y;
    // Compressed: a smooth picture takes fewer bytes than its raw floats.
    image_free(from_exr);
    image_free(from_tiff);
    image_free(picture);
    Image flat = image_alloc(200, 200);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 200; x++)
            flat[y][x] = 0.5f;
    ASSERT_TRUE(export_image(flat, 200, 200, exr));
    EXPECT_LT(read_binary_file(exr).size(), 200u * 200u * 4u / 10u);
    image_free(flat);
}

TEST(ExrPictures, HalfColourChannelsAndAnOffsetWindow)
{
    TempDir dir;
    const std::string path = dir.file("colour.exr");
    // Half-float RGBA written by the library itself, its data window away from the origin.
    const Imath::Box2i window(Imath::V2i(-3, 5), Imath::V2i(4, 8));   // 8 × 4 pixels
    std::vector<Imf::Rgba> pixels(32);
    for (int i = 0; i < 32; i++)
        pixels[(size_t)i] = Imf::Rgba(half(0.125f * (float)(i % 8)), half(0.5f), half(i < 8 ? 2.0f : 0.25f), half(0.5f));
    {
        Imf::RgbaOutputFile out(path.c_str(), Imf::Header(Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(9, 9)), window),
                                Imf::WRITE_RGBA);
        out.setFrameBuffer(pixels.data() - window.min.x - window.min.y * 8, 1, 8);
        out.writePixels(4);
    }
    int w = 0, h = 0;
    Image grey = load_image_grey(path, &w, &h);
    ASSERT_TRUE(grey);
    ASSERT_EQ(w, 8);
    ASSERT_EQ(h, 4);
    EXPECT_EQ(grey[0][3], (0.375f + 0.5f + 2.0f) * 0.33333334f);
    EXPECT_EQ(grey[2][7], (0.875f + 0.5f + 0.25f) * 0.33333334f);
    image_free(grey);
    const Rgba8Raster colours = load_image_rgba8(path);
    ASSERT_EQ(colours.width, 8);
    // Linear floats to display codes; a colour above 1 is clamped; alpha stays linear.
    EXPECT_EQ(colours.pixels[3 * 4 + 0], linear_to_srgb8(0.375f));
    EXPECT_EQ(colours.pixels[3 * 4 + 2], 255);
    EXPECT_EQ(colours.pixels[3 * 4 + 3], 128);

    // A header attribute that claims more bytes than the file holds is refused as it stands.
    const std::vector<unsigned char> file = read_binary_file(path);
    std::vector<unsigned char> lying = file;
    const size_t size_at = 8 + strlen("channels") + 1 + strlen("chlist") + 1;
    ASSERT_EQ(memcmp(&lying[8], "channels", 9), 0);
    lying[size_at] = 0xF0;
    lying[size_at + 1] = lying[size_at + 2] = 0xFF;
    lying[size_at + 3] = 0x7F;
    EXPECT_TRUE(exr_decode_rgba8(lying.data(), lying.size()).empty());
    // A damaged file gives nothing, whatever was cut.
    for (size_t n : {(size_t)3, (size_t)20, file.size() / 2, file.size() - 1}) {
        std::vector<unsigned char> cut(file.begin(), file.begin() + (long)n);
        int cw = 0, ch = 0;
        Image image = exr_decode(cut.data(), cut.size(), &cw, &ch);
        EXPECT_FALSE(image) << n;
        image_free(image);
    }
}

TEST_F(PictureFiles, DeclaredSizesAreCheckedBeforeDecoding)
{
    // Every decoder refuses a picture larger than the reader's limit, with the size in the line.
    const std::vector<unsigned char> rgba = test_rgba();
    ASSERT_TRUE(stbi_write_jpg(dir.file("a.jpg").c_str(), test_w, test_h, 4, rgba.data(), 90));
    ASSERT_TRUE(stbi_write_bmp(dir.file("a.bmp").c_str(), test_w, test_h, 4, rgba.data()));
    Image small = image_alloc(test_h, test_w);
    for (int y = 0; y < test_h; y++)
        for (int x = 0; x < test_w; x++)
            small[y][x] = 1.0f + (float)x;
    ASSERT_TRUE(export_image(small, test_w, test_h, dir.file("a.exr")));
    image_free(small);
    std::vector<std::string> names = {"original.png", "a.jpg", "a.bmp", "a.exr"};
    if (have_program("convert")) {
        ASSERT_FALSE(convert("", "a.gif").empty());
        names.push_back("a.gif");
    }
    image_set_pixel_limit(test_w * test_h - 1);
    for (const std::string& name : names) {
        testing::internal::CaptureStderr();
        EXPECT_TRUE(load_image_rgba8(dir.file(name)).empty()) << name;
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(log.find("of 37 x 23 pixels is larger than this reader accepts"), std::string::npos) << name << log;
        EXPECT_NE(log.find("Could not open image " + dir.file(name)), std::string::npos) << name << log;
    }
    image_set_pixel_limit(0);
    for (const std::string& name : names)
        EXPECT_EQ(load_image_rgba8(dir.file(name)).width, test_w) << name;
    // stb_image is kept to its own formats: handed a PNG, GIF or JPEG it declines; its own it
    // reads as the full library does.
    for (const std::string& name : names) {
        const std::vector<unsigned char> file = read_binary_file(dir.file(name));
        EXPECT_EQ(stb_decode_rgba8(file.data(), file.size()).empty(), name != "a.bmp") << name;
    }
    std::vector<std::string> own = {"a.bmp"};
    if (have_program("convert"))
        for (const char* name : {"a.tga", "a.psd", "a.hdr", "a.ppm", "a.pgm"}) {
            ASSERT_FALSE(convert("", name).empty()) << name;
            own.push_back(name);
        }
    for (const std::string& name : own) {
        const std::vector<unsigned char> file = read_binary_file(dir.file(name));
        const Rgba8Raster r = stb_decode_rgba8(file.data(), file.size());
        EXPECT_EQ(r.width, test_w) << name;
        EXPECT_EQ(r.pixels, stb_reference(file).pixels) << name;
        EXPECT_EQ(load_image_rgba8(dir.file(name)).pixels, r.pixels) << name;
    }
}

TEST(StbPictures, PnmHeadersThatWouldMisleadTheDecoderAreRefused)
{
    // A 16-bit PNM, whose samples the decoder would read past, and a width too long for an int.
    std::string sixteen = "P6\n# comment\n2 2\n258\n";
    sixteen += std::string(2 * 2 * 3 * 2, '\x40');
    std::string long_width = "P5 99999999999999 1 255\n";
    long_width += std::string(64, '\x10');
    for (const std::string& file : {sixteen, long_width})
        EXPECT_TRUE(stb_decode_rgba8((const unsigned char*)file.data(), file.size()).empty()) << file.substr(0, 24);
    // The same header with 8-bit samples is read.
    std::string eight = "P6\n# comment\n2 2\n255\n";
    eight += std::string(2 * 2 * 3, '\x40');
    const Rgba8Raster r = stb_decode_rgba8((const unsigned char*)eight.data(), eight.size());
    ASSERT_EQ(r.width, 2);
    EXPECT_EQ(r.pixels, std::vector<unsigned char>({64, 64, 64, 255, 64, 64, 64, 255, 64, 64, 64, 255, 64, 64, 64, 255}));
}

TEST(StbPictures, RunLengthHdrCutShortIsRefusedNotHung)
{
    std::string hdr = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 8\n";
    for (int row = 0; row < 2; row++) {
        hdr += std::string("\x02\x02\x00\x08", 4);
        for (unsigned char value : {128, 64, 32, 129})
            hdr += std::string{(char)0x88, (char)value};   // a run of 8
    }
    const std::vector<unsigned char> whole(hdr.begin(), hdr.end());
    const Rgba8Raster r = stb_decode_rgba8(whole.data(), whole.size());
    ASSERT_EQ(r.width, 8);
    ASSERT_EQ(r.height, 2);
    EXPECT_EQ(r.pixels, stb_reference(whole).pixels);
    // Cut before a run of the second row: the decoder would spin on the zeros past the end.
    for (size_t cut : {whole.size() - 2, whole.size() - 4, whole.size() - 8}) {
        const std::vector<unsigned char> part(whole.begin(), whole.begin() + (long)cut);
        EXPECT_TRUE(stb_decode_rgba8(part.data(), part.size()).empty()) << cut;
    }
}

TEST_F(PictureFiles, CommandLineSavesExrLikeTiff)
{
    const std::string env = join({"SONOGRAPHICA_DATA_DIR='", dir.path, "' '", cli_path(), "'"});
    const std::string exr = dir.file("out.exr"), tiff = dir.file("out.tiff");
    ASSERT_EQ(run_command(join({env, " -e 'Open \"", png, "\"' -e 'Save \"", exr, "\"' -e 'Save \"", tiff, "\"' 2>&1"})), 0);
    int ew = 0, eh = 0, tw = 0, th = 0;
    Image a = load_exr_float(exr, &ew, &eh);
    Image b = load_tiff_float(tiff, &tw, &th);
    ASSERT_TRUE(a);
    ASSERT_TRUE(b);
    ASSERT_EQ(ew, tw);
    ASSERT_EQ(eh, th);
    for (int y = 0; y < eh; y++)
        ASSERT_EQ(memcmp(a[y], b[y], sizeof(float) * (size_t)ew), 0) << y;
    image_free(a);
    image_free(b);
}

}  // namespace
