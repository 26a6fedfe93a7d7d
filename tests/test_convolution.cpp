#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/cfft2d.h"
#include "engine/fft_size.h"
#include "layers/blend.h"
#include "layers/composite.h"
#include "layers/convolution.h"
#include "layers/convolution_gpu.h"
#include "layers/stack.h"

// Under the sanitizers: clFFT destroys its plans' actions through a base pointer of another
// size and takes two of its own locks in either order (the program serialises its calls), and
// the OpenCL runtimes keep their allocations to the end of the process. None of it is this
// program's doing; the checks stay on for everything else.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libclFFT.so\nleak:libpocl.so\nleak:libOpenCL.so\nleak:libLLVM\nleak:libclang\n";
}
extern "C" const char* __tsan_default_suppressions()
{
    return "deadlock:libclFFT.so\n";
}

namespace {

struct Picture {
    int width, height;
    Image image;
    Picture(int w, int h) : width(w), height(h), image(image_alloc(h, w)) {}
    Picture(const Picture& o) : width(o.width), height(o.height), image(image_copy(o.image, o.height, o.width)) {}
    ~Picture() { image_free(image); }
    float& at(int x, int y) { return image[y][x]; }
    float at(int x, int y) const { return image[y][x]; }
};

Picture random_picture(int w, int h, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    Picture p(w, h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            p.at(x, y) = value(gen);
    return p;
}

// The convolution summed directly: every layer pixel adds the picture shifted by its distance
// from the centre; looped, what lands one width off either edge comes back at the other.
Picture direct_convolution(const Picture& layer, const Picture& acc, int cx, int cy, bool looped)
{
    const int w = acc.width, h = acc.height;
    Picture out(w, h);
    for (int ky = 0; ky < h; ky++)
        for (int kx = 0; kx < w; kx++) {
            const double k = layer.at(kx, ky);
            if (k == 0)
                continue;
            for (int y = 0; y < h; y++) {
                const int ty = y + ky - cy;
                if (ty < 0 || ty >= h)
                    continue;
                for (int x = 0; x < w; x++) {
                    const int v = x + kx - cx;
                    for (int shift : {0, -w, w}) {
                        if (shift != 0 && !looped)
                            continue;
                        if (v + shift >= 0 && v + shift < w)
                            out.at(v + shift, ty) += (float)(k * acc.at(x, y));
                    }
                }
            }
        }
    return out;
}

// Largest difference relative to the largest magnitude of `want`.
double relative_difference(const Picture& got, const Picture& want)
{
    double diff = 0, peak = 0;
    for (int y = 0; y < want.height; y++)
        for (int x = 0; x < want.width; x++) {
            diff = std::max(diff, (double)std::fabs(got.at(x, y) - want.at(x, y)));
            peak = std::max(peak, (double)std::fabs(want.at(x, y)));
        }
    return peak > 0 ? diff / peak : diff;
}

Picture convolved(const Picture& layer, const Picture& acc, int cx, int cy, int looped)
{
    Picture out(acc);
    convolve_layer(layer.image, out.image, acc.width, acc.height, cx, cy, looped);
    return out;
}

// Forgets every cached spectrum and result: two composites that use nothing.
void empty_cache()
{
    release_unused_convolution_buffers();
    release_unused_convolution_buffers();
}

// The processor backend for the tests that do not compare backends.
struct ConvolutionCpu : ::testing::Test {
    void SetUp() override
    {
        convolution_allow_gpu(false);
        empty_cache();
        convolution_stats_reset();
    }
    void TearDown() override { convolution_allow_gpu(true); }
};

// The direct 2-D DFT, forward with 1/N, in double precision.
std::vector<std::complex<double>> direct_dft(const std::vector<std::complex<double>>& in, int w, int h)
{
    std::vector<std::complex<double>> out((size_t)w * h);
    for (int v = 0; v < h; v++)
        for (int u = 0; u < w; u++) {
            std::complex<double> sum = 0;
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    const double angle = -2 * M_PI * ((double)u * x / w + (double)v * y / h);
                    sum += in[(size_t)y * w + x] * std::polar(1.0, angle);
                }
            out[(size_t)v * w + u] = sum / (double)(w * h);
        }
    return out;
}

}  // namespace

TEST(Cfft2d, MatchesTheDirectTransformForEveryRadix)
{
    // Lengths that meet radix 2, 3, 4, 5, a general odd radix (7, 11) and length 1.
    const int sizes[][2] = {{1, 1}, {8, 3}, {12, 10}, {7, 9}, {25, 22}, {11, 1}, {1, 6}, {60, 16}};
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> value(-1, 1);
    for (const auto& s : sizes) {
        const int w = s[0], h = s[1];
        std::vector<std::complex<double>> in((size_t)w * h);
        for (auto& c : in)
            c = {value(gen), value(gen)};
        const auto want = direct_dft(in, w, h);

        auto pf = cfft_2D_create_plan(w, h, 4);
        auto pd = cfft_2D_create_plan(w, h, 8);
        ASSERT_TRUE(pf && pd);
        // Rows padded to ldim = w + 2: the two extra values per row must be left alone.
        const int ldim = w + 2;
        std::vector<float> f((size_t)2 * ldim * h, 99.0f);
        std::vector<double> d((size_t)2 * ldim * h, 99.0);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const auto c = in[(size_t)y * w + x];
                f[2 * ((size_t)y * ldim + x)] = (float)c.real();
                f[2 * ((size_t)y * ldim + x) + 1] = (float)c.imag();
                d[2 * ((size_t)y * ldim + x)] = c.real();
                d[2 * ((size_t)y * ldim + x) + 1] = c.imag();
            }
        ASSERT_EQ(cfft2f(*pf, f.data(), ldim), 0);
        ASSERT_EQ(cfft2f(*pd, d.data(), ldim), 0);
        double ef = 0, ed = 0;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const auto c = want[(size_t)y * w + x];
                const size_t i = 2 * ((size_t)y * ldim + x);
                ef = std::max(ef, std::abs(std::complex<double>(f[i], f[i + 1]) - c));
                ed = std::max(ed, std::abs(std::complex<double>(d[i], d[i + 1]) - c));
            }
        EXPECT_LT(ef, 2e-7) << w << " x " << h;
        EXPECT_LT(ed, 1e-14) << w << " x " << h;

        ASSERT_EQ(cfft2b(*pf, f.data(), ldim), 0);
        ASSERT_EQ(cfft2b(*pd, d.data(), ldim), 0);
        for (int y = 0; y < h; y++) {
            for (int x = 0; x < w; x++) {
                const auto c = in[(size_t)y * w + x];
                const size_t i = 2 * ((size_t)y * ldim + x);
                EXPECT_NEAR(f[i], c.real(), 2e-6);
                EXPECT_NEAR(f[i + 1], c.imag(), 2e-6);
                EXPECT_NEAR(d[i], c.real(), 1e-13);
            }
            for (size_t i = 2 * ((size_t)y * ldim + w); i < 2 * (size_t)(y + 1) * ldim; i++)
                EXPECT_EQ(f[i], 99.0f);
        }
    }
}

TEST(Cfft2d, WideAndGenericBuildsAgreeToTheBit)
{
    // Radices 4, 2, 3, 5 and 7; lane blocks with a partial last block.
    for (const auto& size : {std::pair{80, 60}, std::pair{28, 21}, std::pair{2000, 36}}) {
        auto wide = cfft_2D_create_plan(size.first, size.second, 4);
        ASSERT_TRUE(wide);
        Cfft2dPlan generic = *wide;
        generic.wide = false;
        if (!wide->wide)
            printf("This processor has no AVX2: the generic build is compared with itself\n");
        std::mt19937 gen(3);
        std::uniform_real_distribution<float> value(-1, 1);
        std::vector<float> a((size_t)2 * size.first * size.second);
        for (float& v : a)
            v = value(gen);
        std::vector<float> b(a);
        for (int backward = 0; backward < 2; backward++) {
            ASSERT_EQ(backward ? cfft2b(*wide, a.data(), size.first) : cfft2f(*wide, a.data(), size.first), 0);
            ASSERT_EQ(backward ? cfft2b(generic, b.data(), size.first) : cfft2f(generic, b.data(), size.first), 0);
            EXPECT_EQ(memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << size.first << " x " << size.second;
        }
    }
}

TEST(Cfft2d, RefusedPlansAndCalls)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(cfft_2D_create_plan(0, 5, 4), nullptr);
    EXPECT_EQ(cfft_2D_create_plan(4, 4, 3), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "cfft2i_() returned 1 in cfft_2D_create_plan()\n"
              "cfft2i_() returned 2 in cfft_2D_create_plan()\n");

    auto plan = cfft_2D_create_plan(4, 3, 4);
    ASSERT_TRUE(plan);
    std::vector<float> f(2 * 4 * 3, 1.0f);
    std::vector<double> d(2 * 4 * 3, 1.0);
    EXPECT_EQ(cfft2f(*plan, f.data(), 3), cfft_error_ldim);
    EXPECT_EQ(cfft2f(*plan, d.data(), 4), cfft_error_element_size);
    EXPECT_EQ(f, std::vector<float>(2 * 4 * 3, 1.0f));
    // A constant gives its value at frequency 0 and nothing elsewhere.
    ASSERT_EQ(cfft2f(*plan, f.data(), 4), 0);
    EXPECT_FLOAT_EQ(f[0], 1.0f);
    EXPECT_FLOAT_EQ(f[1], 1.0f);
    for (size_t i = 2; i < f.size(); i++)
        EXPECT_NEAR(f[i], 0.0f, 1e-7) << i;
}

TEST_F(ConvolutionCpu, CentrePixelKeepsThePictureAndOffCentrePixelsShiftIt)
{
    const int w = 23, h = 14, cx = w / 2, cy = h / 2;
    const Picture acc = random_picture(w, h, 1);
    for (int looped = 0; looped < 2; looped++) {
        Picture centre(w, h);
        centre.at(cx, cy) = 1.0f;
        const Picture same = convolved(centre, acc, cx, cy, looped);
        EXPECT_LT(relative_difference(same, acc), 1e-5) << "looped " << looped;

        Picture right(w, h);
        right.at(cx + 3, cy) = 1.0f;
        const Picture r = convolved(right, acc, cx, cy, looped);
        Picture down(w, h);
        down.at(cx, cy + 3) = 1.0f;
        const Picture d = convolved(down, acc, cx, cy, looped);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                // Right: the last 3 columns fall off, or come back as columns 0 to 2.
                const float want_r = x >= 3 ? acc.at(x - 3, y) : looped ? acc.at(x + w - 3, y) : 0.0f;
                EXPECT_NEAR(r.at(x, y), want_r, 1e-5) << x << "," << y << " looped " << looped;
                // Down: the bottom rows are lost in both modes.
                const float want_d = y >= 3 ? acc.at(x, y - 3) : 0.0f;
                EXPECT_NEAR(d.at(x, y), want_d, 1e-5) << x << "," << y << " looped " << looped;
            }
    }

    const Picture zero_layer(w, h);
    for (int looped = 0; looped < 2; looped++) {
        const Picture z = convolved(zero_layer, acc, cx, cy, looped);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                EXPECT_EQ(z.at(x, y), 0.0f);
    }
}

TEST_F(ConvolutionCpu, RandomPicturesMatchTheDirectSum)
{
    struct Case {
        int w, h, cx, cy;
    };
    // Centres inside the picture, at its corners and outside it.
    const Case cases[] = {{17, 9, 5, 2}, {31, 20, 0, 19}, {12, 12, 11, 0}, {9, 16, -4, 20}, {20, 7, 26, -3}};
    unsigned seed = 10;
    for (const Case& c : cases) {
        Picture layer = random_picture(c.w, c.h, seed++);
        // A sparse kernel with negative weights.
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++)
                if ((x * 7 + y * 3) % 5 != 0)
                    layer.at(x, y) = 0.0f;
                else if ((x + y) % 2)
                    layer.at(x, y) = -layer.at(x, y);
        const Picture acc = random_picture(c.w, c.h, seed++);
        for (int looped = 0; looped < 2; looped++) {
            const Picture got = convolved(layer, acc, c.cx, c.cy, looped);
            const Picture want = direct_convolution(layer, acc, c.cx, c.cy, looped);
            EXPECT_LT(relative_difference(got, want), 1e-5)
                << c.w << " x " << c.h << " centre " << c.cx << "," << c.cy << " looped " << looped;
        }
    }
}

TEST_F(ConvolutionCpu, BlendingModesConvolveAndMissingRowsAreSkipped)
{
    const int w = 10, h = 6;
    const Picture acc = random_picture(w, h, 3);
    Picture layer(w, h);
    layer.at(6, 3) = 2.0f;  // centre (5, 3): one column right, doubled
    Picture a(acc), b(acc);
    blend_image(layer.image, a.image, w, h, 5, 3, blend_convolution, 1);
    blend_image(layer.image, b.image, w, h, 5, 3, blend_convolution_looped, 1);
    for (int y = 0; y < h; y++) {
        EXPECT_NEAR(a.at(0, y), 0.0f, 1e-5);
        EXPECT_NEAR(b.at(0, y), 2 * acc.at(w - 1, y), 1e-5);
        for (int x = 1; x < w; x++) {
            EXPECT_NEAR(a.at(x, y), 2 * acc.at(x - 1, y), 1e-5);
            EXPECT_NEAR(b.at(x, y), 2 * acc.at(x - 1, y), 1e-5);
        }
    }

    // A missing row reads as zeros and is left missing in the destination.
    Picture holed(acc);
    float* row2 = holed.image[2];
    holed.image[2] = nullptr;
    Picture zeroed(acc);
    for (int x = 0; x < w; x++)
        zeroed.at(x, 2) = 0.0f;
    EXPECT_EQ(image_hash(holed.image, w, h), image_hash(zeroed.image, w, h));
    convolve_layer(layer.image, holed.image, w, h, 5, 3, 0);
    convolve_layer(layer.image, zeroed.image, w, h, 5, 3, 0);
    EXPECT_EQ(holed.image[2], nullptr);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w && y != 2; x++)
            EXPECT_EQ(holed.at(x, y), zeroed.at(x, y));
    holed.image[2] = row2;
}

TEST_F(ConvolutionCpu, PlaceResultClipsToTheDestination)
{
    // A 4 × 3 result placed into a 3 × 2 picture.
    const std::vector<float> result = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Picture dst(3, 2);
    dst.at(0, 0) = 50.0f;
    place_result(result.data(), dst.image, 4, 3, 3, 2, -1, -1, 2.0f, 0);
    EXPECT_EQ(std::vector<float>({dst.at(0, 0), dst.at(1, 0), dst.at(2, 0)}), std::vector<float>({12, 14, 16}));
    EXPECT_EQ(std::vector<float>({dst.at(0, 1), dst.at(1, 1), dst.at(2, 1)}), std::vector<float>({20, 22, 24}));
    // Adding from two columns left of the frame: only result columns 0 and 1 land.
    place_result(result.data(), dst.image, 4, 3, 3, 2, 2, 0, 1.0f, 1);
    EXPECT_EQ(std::vector<float>({dst.at(0, 0), dst.at(1, 0), dst.at(2, 0)}), std::vector<float>({12, 14, 17}));
    EXPECT_EQ(std::vector<float>({dst.at(0, 1), dst.at(1, 1), dst.at(2, 1)}), std::vector<float>({20, 22, 29}));
    // Entirely outside: a copy only clears.
    place_result(result.data(), dst.image, 4, 3, 3, 2, 100, 0, 1.0f, 0);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 3; x++)
            EXPECT_EQ(dst.at(x, y), 0.0f);
}

TEST_F(ConvolutionCpu, PicturesOfOtherSizesWithTheSameBytesDoNotShareCacheEntries)
{
    // All ones 6 × 4 and 4 × 6 hash alike and share the 60 × 60 frame; so does the one-pixel
    // layer at (0, 0). Each must still get its own result.
    Picture layer64(6, 4), layer46(4, 6), ones64(6, 4), ones46(4, 6);
    layer64.at(0, 0) = layer46.at(0, 0) = 1.0f;
    for (int i = 0; i < 24; i++)
        ones64.image[0][i] = ones46.image[0][i] = 1.0f;
    ASSERT_EQ(image_hash(ones64.image, 6, 4), image_hash(ones46.image, 4, 6));
    convolve_layer(layer64.image, ones64.image, 6, 4, 0, 0, 0);
    convolve_layer(layer46.image, ones46.image, 4, 6, 0, 0, 0);
    for (int i = 0; i < 24; i++) {
        EXPECT_NEAR(ones64.image[0][i], 1.0f, 1e-5) << i;
        EXPECT_NEAR(ones46.image[0][i], 1.0f, 1e-5) << i;
    }
}

TEST_F(ConvolutionCpu, CompositingTransformsOnlyWhatChanged)
{
    Project p;
    ASSERT_TRUE(resize_project(p, 20, 12, true));
    ASSERT_TRUE(new_layer(p, "picture"));
    const int below = p.current_layer;
    const Picture pic = random_picture(20, 12, 5);
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 20; x++)
            p.layers[below].image[y][x] = pic.at(x, y);
    ASSERT_TRUE(new_layer(p, "kernel"));
    const int kernel = p.current_layer;
    ASSERT_TRUE(set_layer_blending(p, blend_convolution));
    Layer& k = p.layers[kernel];
    k.image[k.centre_y][k.centre_x + 1] = 1.0f;

    auto transforms = [] {
        const ConvolutionStats s = convolution_stats();
        convolution_stats_reset();
        return std::vector<long>({s.cpu_forward, s.cpu_backward, s.gpu_forward, s.gpu_backward});
    };
    composite_layers(p, false);
    EXPECT_EQ(transforms(), std::vector<long>({2, 1, 0, 0}));
    EXPECT_NEAR(p.composite[4][11], pic.at(10, 4), 1e-5);
    EXPECT_EQ(convolution_cached_buffers(), 3);

    composite_layers(p, false);
    composite_layers(p, false);
    EXPECT_EQ(transforms(), std::vector<long>({0, 0, 0, 0}));
    EXPECT_NEAR(p.composite[4][11], pic.at(10, 4), 1e-5);

    // A change below the convolution layer: its spectrum and the product only.
    p.layers[below].image[4][10] = 3.0f;
    composite_layers(p, false);
    EXPECT_EQ(transforms(), std::vector<long>({1, 1, 0, 0}));
    EXPECT_NEAR(p.composite[4][11], 3.0f, 1e-5);
    EXPECT_EQ(convolution_cached_buffers(), 3);  // the stale spectrum and result were freed

    // A change of the kernel: likewise.
    k.image[k.centre_y][k.centre_x + 1] = 0.5f;
    composite_layers(p, false);
    EXPECT_EQ(transforms(), std::vector<long>({1, 1, 0, 0}));
    EXPECT_NEAR(p.composite[4][11], 1.5f, 1e-5);

    // Moving the centre needs no transform: only the placement changes.
    k.centre_x += 1;
    composite_layers(p, false);
    EXPECT_EQ(transforms(), std::vector<long>({0, 0, 0, 0}));
    EXPECT_NEAR(p.composite[4][10], 1.5f, 1e-5);

    // A composite without convolution frees everything.
    ASSERT_TRUE(set_layer_blending(p, blend_addition));
    composite_layers(p, false);
    EXPECT_EQ(convolution_cached_buffers(), 0);
}

TEST_F(ConvolutionCpu, ConcurrentConvolutionsGiveTheSequentialResults)
{
    const int w = 30, h = 18;
    std::vector<Picture> layers, accs, want;
    for (int i = 0; i < 4; i++) {
        layers.push_back(random_picture(w, h, 100 + i));
        accs.push_back(random_picture(w, h, 200 + i));
    }
    for (int i = 0; i < 4; i++)
        want.push_back(convolved(layers[i], accs[i], 4 + i, 3, i % 2));
    empty_cache();
    std::vector<Picture> got(accs);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; i++)
        threads.emplace_back([&, i] {
            for (int round = 0; round < 3; round++) {
                Picture out(accs[i]);
                convolve_layer(layers[i].image, out.image, w, h, 4 + i, 3, i % 2);
                if (round == 2)
                    std::swap(got[i].image, out.image);
                release_unused_convolution_buffers();
            }
        });
    for (auto& t : threads)
        t.join();
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(relative_difference(got[i], want[i]), 0.0) << i;
}

// The OpenCL backend, on whatever device the machine has; a processor device is accepted so
// that machines without a GPU still run clFFT.
struct ConvolutionOpencl : ::testing::Test {
    std::string saved;
    bool had = false;
    void SetUp() override
    {
        if (const char* v = getenv("SONOGRAPHICA_OPENCL")) {
            had = true;
            saved = v;
        }
        setenv("SONOGRAPHICA_OPENCL", "cpu", 1);
        gpu_shutdown();
        convolution_allow_gpu(true);
        empty_cache();
        convolution_stats_reset();
    }
    void TearDown() override
    {
        gpu_shutdown();
        if (had)
            setenv("SONOGRAPHICA_OPENCL", saved.c_str(), 1);
        else
            unsetenv("SONOGRAPHICA_OPENCL");
    }
    // False, after printing why, when this machine has no OpenCL device at all.
    bool have_device()
    {
        ::testing::internal::CaptureStderr();
        const bool ok = gpu_available();
        const std::string why = ::testing::internal::GetCapturedStderr();
        if (!ok)
            printf("No OpenCL device: %s", why.c_str());
        return ok;
    }
};

TEST_F(ConvolutionOpencl, AgreesWithTheProcessor)
{
    if (!have_device())
        GTEST_SKIP() << "no OpenCL platform or device on this machine";
    // 40 × 30: an 80 × 60 frame, not square, so that swapped dimensions would show.
    const int w = 40, h = 30;
    for (int looped = 0; looped < 2; looped++) {
        const Picture layer = random_picture(w, h, 40 + looped), acc = random_picture(w, h, 50 + looped);
        convolution_allow_gpu(true);
        convolution_stats_reset();
        const Picture on_gpu = convolved(layer, acc, 13, 21, looped);
        const ConvolutionStats s = convolution_stats();
        EXPECT_EQ(s.gpu_forward, 2);
        EXPECT_EQ(s.gpu_backward, 1);
        EXPECT_EQ(s.cpu_forward + s.cpu_backward, 0);
        empty_cache();
        convolution_allow_gpu(false);
        const Picture on_cpu = convolved(layer, acc, 13, 21, looped);
        EXPECT_LT(relative_difference(on_gpu, on_cpu), 1e-4) << "looped " << looped;
        EXPECT_LT(relative_difference(on_gpu, direct_convolution(layer, acc, 13, 21, looped)), 1e-4);
    }

    // The raw transforms follow the same convention: forward scaled by 1/N, backward not.
    const int fw = next_fast_size(2 * w - 1), fh = next_fast_size(2 * h - 1);
    std::mt19937 gen(9);
    std::uniform_real_distribution<float> value(-1, 1);
    std::vector<float> data((size_t)2 * fw * fh);
    for (float& v : data)
        v = value(gen);
    std::vector<float> cpu(data), gpu(data);
    auto plan = cfft_2D_create_plan(fw, fh, 4);
    ASSERT_TRUE(plan);
    ClfftPlan clplan;
    for (int backward = 0; backward < 2; backward++) {
        ASSERT_EQ(backward ? cfft2b(*plan, cpu.data(), fw) : cfft2f(*plan, cpu.data(), fw), 0);
        ASSERT_TRUE(clfft_2d(*gpu_context(), clplan, gpu.data(), fw, fh, backward));
        double diff = 0, peak = 0;
        for (size_t i = 0; i < cpu.size(); i++) {
            diff = std::max(diff, (double)std::fabs(cpu[i] - gpu[i]));
            peak = std::max(peak, (double)std::fabs(cpu[i]));
        }
        EXPECT_LT(diff / peak, 1e-5) << "backward " << backward;
    }
    for (size_t i = 0; i < data.size(); i++)
        ASSERT_NEAR(gpu[i], data[i], 1e-5);
    clfft_release_plan(clplan);
}

TEST_F(ConvolutionOpencl, FailuresAreReportedAndTheProcessorTakesOver)
{
    if (!have_device())
        GTEST_SKIP() << "no OpenCL platform or device on this machine";
    const int w = 40, h = 30;
    const Picture layer = random_picture(w, h, 60), acc = random_picture(w, h, 61);
    convolution_allow_gpu(false);
    const Picture want = convolved(layer, acc, 7, 8, 1);
    empty_cache();
    convolution_allow_gpu(true);
    convolution_stats_reset();

    // A device number that names no device: the context fails once, the processor goes on.
    gpu_shutdown();
    setenv("SONOGRAPHICA_OPENCL", "99", 1);
    ::testing::internal::CaptureStderr();
    const Picture first = convolved(layer, acc, 7, 8, 1);
    empty_cache();
    const Picture second = convolved(layer, acc, 7, 8, 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "init_cl_context failed (err -33: CL_INVALID_DEVICE)\n");
    EXPECT_FALSE(gpu_available());
    EXPECT_EQ(gpu_context(), nullptr);
    EXPECT_EQ(relative_difference(first, want), 0.0);
    EXPECT_EQ(relative_difference(second, want), 0.0);
    ConvolutionStats s = convolution_stats();
    EXPECT_EQ(s.gpu_forward + s.gpu_backward, 0);
    EXPECT_EQ(s.cpu_forward, 4);

    // A transform clFFT refuses (a length with the prime factor 17) is reported with its label;
    // the GPU path is then off and the next convolution runs on the processor.
    gpu_shutdown();
    setenv("SONOGRAPHICA_OPENCL", "cpu", 1);
    ASSERT_TRUE(gpu_available());
    std::vector<float> data((size_t)2 * 17 * 60, 1.0f);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(gpu_fft_2d(data.data(), 17, 60, 0));
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(message.rfind("clfftCreateDefaultPlan (in clfft_make_plan_2d) failed (err ", 0), 0u) << message;
    EXPECT_FALSE(gpu_available());
    empty_cache();
    convolution_stats_reset();
    const Picture after = convolved(layer, acc, 7, 8, 1);
    EXPECT_EQ(relative_difference(after, want), 0.0);
    s = convolution_stats();
    EXPECT_EQ(s.cpu_forward, 2);
    EXPECT_EQ(s.gpu_forward, 0);
}

TEST(ClErrorNames, KnownAndUnknownCodes)
{
    EXPECT_STREQ(cl_error_name(-5), "CL_OUT_OF_RESOURCES");
    EXPECT_STREQ(cl_error_name(-1001), "CL_PLATFORM_NOT_FOUND_KHR");
    EXPECT_STREQ(cl_error_name(CLFFT_NOTIMPLEMENTED), "CLFFT_NOTIMPLEMENTED");
    EXPECT_STREQ(cl_error_name(-20), "Unknown OpenCL error");
    EXPECT_STREQ(cl_error_name(12345), "Unknown OpenCL error");
}
