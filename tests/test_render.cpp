#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/analysis.h"
#include "engine/noise.h"
#include "engine/scale.h"
#include "media/sound_read.h"
#include "media/sound_write.h"
#include "engine/limiter.h"
#include "engine/render.h"
#include "project/project_synthesis.h"
#include "stderr_capture.h"
#include "support/prefs.h"
#include "test_signal.h"
#include "testlib.h"

namespace {

// 200 columns at 10 px/s and 8 kHz (20 s of sound, 160,000 samples), 24 rows.
struct RenderProject {
    Project p;
    RenderProject(int width = 200, int height = 24)
    {
        p.sample_rate = 8000;
        p.fmin = 100.0f;
        p.fmax = 3000.0f;
        p.time_resolution = 10.0f;
        p.width = p.composite_width = width;
        p.height = p.composite_height = height;
        update_block_width(p);
        p.composite = image_alloc(height, width);
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                p.composite[y][x] = 0.5f;
    }
    void original(long long n)
    {
        std::vector<float> sound((size_t)n);
        for (long long t = 0; t < n; t++)
            sound[t] = 0.3f * std::sin(0.05f * (float)t) + 0.2f * std::sin(0.31f * (float)t);
        ASSERT_TRUE(set_original_sound(p, sound, (int)n));
        p.original_image = image_copy(p.composite, p.height, p.width);
        p.original_image_width = p.width;
        p.original_image_height = p.height;
    }
};

float peak_of(const std::vector<float>& v)
{
    float peak = 0.0f;
    for (float x : v)
        peak = std::max(peak, std::fabs(x));
    return peak;
}

double rms(const std::vector<float>& v, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; i++)
        sum += (double)v[i] * v[i];
    return std::sqrt(sum / (double)(to - from));
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// The recording-like signal analysed with the program's default parameters, as a project with
// its original, so that every mode can render it.
void signal_project(Project& p, std::vector<float>& sound)
{
    const int rate = 44100;
    sound = recording_like_signal(rate);
    const int n = (int)sound.size();
    AnalysisParameters a;
    p.sample_rate = rate;
    p.fmin = a.fmin;
    p.fmax = a.fmax;
    p.time_resolution = a.time_resolution;
    int rows = analysis_image_height(a.fmin, a.fmax, a.pitch_resolution), columns = 0;
    Image picture = analyse_sound(sound.data(), n, rate, rows, a, &columns);
    ASSERT_TRUE(picture);
    scale_image_to_unit_peak(picture, rows, columns);
    p.width = p.composite_width = columns;
    p.height = p.composite_height = rows;
    update_block_width(p);
    ASSERT_TRUE(set_original_sound(p, sound, n));
    p.original_image = picture;
    p.original_image_width = columns;
    p.original_image_height = rows;
    p.composite = image_copy(picture, rows, columns);
}

// Limiter settings of a preferences file of their own.
struct LimiterPrefs {
    TempDir dir;
    PrefStore store;
    explicit LimiterPrefs(const char* limiter_lines)
    {
        write_text_file(dir.file("config.txt"),
                        std::string(SONOGRAPHICA_PREF_TITLE "\n\nAudio output\n") + limiter_lines);
        pref_open(store, dir.file("config.txt"));
    }
};

}  // namespace

TEST(OfflineRender, NoiseModeIsTheWholeRenderingScaledByTheGain)
{
    RenderProject r;
    std::vector<float> out;
    random_seed(5);
    ASSERT_TRUE(render_project_to_sound(r.p, out));
    ASSERT_EQ(out.size(), 160000u);
    EXPECT_NEAR(peak_of(out), 1.0f, 1e-6f);

    random_seed(5);
    BlockGeometry g;
    ASSERT_TRUE(block_geometry(g, 200, 24, 10.0f, 8000, false, 160000));
    NoiseCarriers carriers;
    ASSERT_TRUE(build_noise_carriers(carriers, g, 100.0f, 3000.0f, 2.0f));
    OutputBuffer whole;
    float gain = 0.0f;
    render_noise_output(carriers, r.p.composite, whole, &gain, 1);
    for (long long t = 0; t < 160000; t++)
        ASSERT_EQ(out[t], output_sample(whole, t) * gain) << t;

    // An all-zero picture renders silence of the full length.
    for (int y = 0; y < 24; y++)
        for (int x = 0; x < 200; x++)
            r.p.composite[y][x] = 0.0f;
    ASSERT_TRUE(render_project_to_sound(r.p, out));
    ASSERT_EQ(out.size(), 160000u);
    EXPECT_EQ(peak_of(out), 0.0f);
}

TEST(OfflineRender, LiveModeRunsTheCursorFromTheFirstColumnToTheLast)
{
    RenderProject r;
    for (int y = 0; y < 24; y++)
        for (int x = 150; x < 200; x++)
            r.p.composite[y][x] = 0.0f;
    r.p.live_synthesis = true;
    std::vector<float> out;
    // Without the limiter: the level divisor alone sets the level here.
    LimiterPrefs off("\tVolume limiter: off\n");
    ASSERT_TRUE(render_project_to_sound(r.p, out, true, -1, &off.store));
    // One sample per 1/800 column from column 0 until the cursor passes column 199.
    EXPECT_NEAR((double)out.size(), 199.0 * 800.0 + 1.0, 1.0);
    for (float v : out)
        ASSERT_TRUE(std::isfinite(v));
    // The level divisor makes the loudest part about 1.5 / (3 sqrt 3) ~ 0.29 RMS (three kernel
    // taps over the RMS of the bands' sum), and the silent columns are silent.
    const double loud = rms(out, 800, 140 * 800);
    EXPECT_GT(loud, 0.2);
    EXPECT_LT(loud, 0.4);
    EXPECT_EQ(rms(out, 152 * 800, out.size()), 0.0);
}

TEST(OfflineRender, LosslessModeAndItsFallbackWhenThePictureChangedSize)
{
    RenderProject r;
    r.original(150000);
    r.p.lossless = true;
    std::vector<float> out;
    ASSERT_TRUE(render_project_to_sound(r.p, out));
    ASSERT_EQ(out.size(), 150000u);  // the original sound's length

    BlockGeometry g;
    ASSERT_TRUE(block_geometry(g, 200, 24, 10.0f, 8000, false, 150000));
    LosslessSetup setup;
    ASSERT_TRUE(build_lossless_setup(setup, g, 100.0f, 3000.0f, 2.0f));
    OutputBuffer whole;
    float gain = 0.0f;
    render_lossless_output(setup, r.p.composite, r.p.original_image, r.p.original_sound.data(),
                           (long long)r.p.original_sound.size(), whole, &gain, 2);
    for (long long t = 0; t < 150000; t++)
        ASSERT_EQ(out[t], output_sample(whole, t) * gain) << t;

    // Another picture size: rendered as playback would then play it, in noise mode.
    r.p.original_image_height = 23;
    ASSERT_TRUE(render_project_to_sound(r.p, out));
    EXPECT_EQ(out.size(), 160000u);
    EXPECT_TRUE(r.p.lossless);  // the project is not changed by rendering

    // Nothing to render.
    Project empty;
    EXPECT_FALSE(render_project_to_sound(empty, out));
    EXPECT_TRUE(out.empty());
}

TEST(OfflineRender, SavedFilesReadBackWithOurReaderAndWithSox)
{
    RenderProject r;
    std::vector<float> out;
    ASSERT_TRUE(render_project_to_sound(r.p, out));
    TempDir dir;
    for (const char* name : {"render.wav", "render.aif"}) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(save_sound_file(path, out.data(), out.size(), r.p.sample_rate));
        Sound back = load_sound(path.c_str(), 0);
        ASSERT_EQ(back.frames, out.size()) << name;
        EXPECT_EQ(back.channels, 1);
        EXPECT_EQ(back.sample_rate, 8000);
        EXPECT_EQ(back.samples, out) << name;

        std::string info;
        ASSERT_EQ(run_command("sox --i " + quoted(path) + " 2>&1", &info), 0) << info;
        EXPECT_NE(info.find("Channels       : 1"), std::string::npos) << info;
        EXPECT_NE(info.find("Sample Rate    : 8000"), std::string::npos) << info;
        EXPECT_NE(info.find("= 160000 samples"), std::string::npos) << info;
        EXPECT_NE(info.find("32-bit Floating Point PCM"), std::string::npos) << info;
    }
}

TEST(OfflineRender, LosslessRoundTripOfAnAnalysedSound)
{
    // 4 s of tones and a burst of noise inside the range (many partials at random frequencies
    // and phases under a smooth envelope) at 22.05 kHz, analysed from 50 Hz to 10 kHz at 24 rows
    // per octave, rendered back unedited through the project.
    const int rate = 22050, n = 4 * rate;
    std::vector<float> sound((size_t)n);
    std::mt19937 rng(8);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> partial_f(300), partial_phase(300);
    for (int k = 0; k < 300; k++) {
        partial_f[k] = 100.0 * std::pow(80.0, u(rng));  // 100 Hz - 8 kHz
        partial_phase[k] = 2 * M_PI * u(rng);
    }
    for (int i = 0; i < n; i++) {
        const double t = (double)i / rate;
        double v = 0.3 * std::sin(2 * M_PI * 220.0 * t) + 0.15 * std::sin(2 * M_PI * 661.0 * t + 1.0) +
                   0.1 * std::sin(2 * M_PI * 2500.0 * t * (1.0 + 0.05 * t));
        if (t > 1.5 && t < 1.9) {
            double burst = 0.0;
            for (int k = 0; k < 300; k++)
                burst += std::sin(2 * M_PI * partial_f[k] * t + partial_phase[k]);
            v += 0.02 * (0.5 - 0.5 * std::cos(2 * M_PI * (t - 1.5) / 0.4)) * burst;
        }
        sound[i] = (float)v;
    }
    Project p;
    p.sample_rate = rate;
    p.fmin = 50.0f;
    p.fmax = 10000.0f;
    p.time_resolution = 100.0f;
    AnalysisParameters a;
    a.fmin = p.fmin;
    a.fmax = p.fmax;
    a.pitch_resolution = 24.0f;
    a.min_pitch_resolution = 12.0f;
    int rows = analysis_image_height(a.fmin, a.fmax, a.pitch_resolution), columns = 0;
    Image picture = analyse_sound(sound.data(), n, rate, rows, a, &columns);
    ASSERT_TRUE(picture);
    scale_image_to_unit_peak(picture, rows, columns);
    p.width = columns;
    p.height = rows;
    update_block_width(p);
    ASSERT_TRUE(set_original_sound(p, sound, n));
    p.original_image = picture;
    p.original_image_width = columns;
    p.original_image_height = rows;
    p.composite = image_copy(picture, rows, columns);
    p.lossless = true;
    std::vector<float> out;
    ASSERT_TRUE(render_project_to_sound(p, out));
    ASSERT_EQ(out.size(), (size_t)n);
    double xy = 0, yy = 0, xx = 0, err = 0;
    for (int i = rate / 2; i < n - rate / 2; i++) {
        xy += (double)sound[i] * out[i];
        yy += (double)out[i] * out[i];
        xx += (double)sound[i] * sound[i];
    }
    for (int i = rate / 2; i < n - rate / 2; i++) {
        const double e = sound[i] - xy / yy * out[i];
        err += e * e;
    }
    const double ser = 10.0 * std::log10(xx / err);
    // Measured: 88.5 dB without the first and last half second.
    EXPECT_GT(ser, 87.0);
}

namespace {

// A base85 block of `values` on one line: five characters per word, least significant digit
// first.
std::string base85_block(const std::vector<float>& values)
{
    std::string text = "Base85 " + std::to_string(values.size()) + " words\n";
    for (size_t i = 0; i < values.size(); i++) {
        uint32_t w;
        memcpy(&w, &values[i], 4);
        for (int d = 0; d < 5; d++) {
            text += (char)(w % 85 + 37);
            w /= 85;
        }
    }
    return text + "z\n";
}

}  // namespace

TEST(OfflineRender, SaveLinesOfTheCommandLineRenderTheProject)
{
    // A 200 x 24 picture at 10 px/s, saved as sound in noise mode, then with live synthesis on.
    TempDir dir;
    std::vector<float> pixels(200 * 24);
    for (size_t i = 0; i < pixels.size(); i++)
        pixels[i] = (float)((i * 7) % 11) / 10.0f;
    const std::string picture = "Time resolution 10 px/s\nFrequency range 100 Hz - 3000 Hz\n"
                                "Dimensions 200 px x 24 px\nNew layer \"a\"\n" + base85_block(pixels);
    write_text_file(dir.file("noise.sga"), picture + "Save \"noise.wav\"\n");
    write_text_file(dir.file("live.sga"), picture + "Synthesis live\n");
    std::string out;
    ASSERT_EQ(run_command(cli_path() + " " + quoted(dir.file("noise.sga")) + " 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("Rendering sound (noise synthesis): 100%"), std::string::npos) << out;
    Sound noise = load_sound(dir.file("noise.wav").c_str(), 0);
    EXPECT_EQ(noise.frames, 882000u);  // 20 s at the default 44.1 kHz
    EXPECT_EQ(noise.sample_rate, 44100);
    EXPECT_NEAR(peak_of(noise.samples), 1.0f, 1e-6f);

    // The synthesis word takes effect once its file has been read, as in the desktop program.
    ASSERT_EQ(run_command(cli_path() + " " + quoted(dir.file("live.sga")) + " -e " +
                              quoted("Save \"" + dir.file("live.aif") + "\"") + " 2>&1",
                          &out),
              0)
        << out;
    EXPECT_NE(out.find("Rendering sound (live synthesis): 100%"), std::string::npos) << out;
    Sound live = load_sound(dir.file("live.aif").c_str(), 0);
    EXPECT_NEAR((double)live.frames, 199.0 * 4410.0 + 1.0, 1.0);
    std::string info;
    ASSERT_EQ(run_command("sox --i " + quoted(dir.file("live.aif")) + " 2>&1", &info), 0) << info;
    EXPECT_NE(info.find("Sample Rate    : 44100"), std::string::npos) << info;
    EXPECT_NE(info.find("= " + std::to_string(live.frames) + " samples"), std::string::npos) << info;
}

// The live-synthesis switch of the command line picks between live and noise rendering for
// the same project; lossless needs its own line; a wrong value is a usage error.
TEST(OfflineRender, CommandLineLiveSynthesisSwitchPicksTheMode)
{
    TempDir dir;
    std::vector<float> pixels(100 * 24, 0.5f);
    write_text_file(dir.file("p.sga"), "Time resolution 10 px/s\nFrequency range 100 Hz - 3000 Hz\n"
                                       "Dimensions 100 px x 24 px\nNew layer \"a\"\n" + base85_block(pixels));
    const std::string project = quoted(dir.file("p.sga"));
    std::string out;
    ASSERT_EQ(run_command(cli_path() + " --live-synthesis on " + project + " -e " +
                              quoted("Save \"" + dir.file("live.wav") + "\"") + " 2>&1",
                          &out),
              0)
        << out;
    EXPECT_NE(out.find("Rendering sound (live synthesis): 100%"), std::string::npos) << out;
    out.clear();
    ASSERT_EQ(run_command(cli_path() + " --live-synthesis off " + project + " -e " +
                              quoted("Save \"" + dir.file("noise.wav") + "\"") + " 2>&1",
                          &out),
              0)
        << out;
    EXPECT_NE(out.find("Rendering sound (noise synthesis): 100%"), std::string::npos) << out;
    Sound live = load_sound(dir.file("live.wav").c_str(), 0);
    Sound noise = load_sound(dir.file("noise.wav").c_str(), 0);
    EXPECT_GT(live.frames, 400000u);
    EXPECT_GT(noise.frames, 400000u);
    EXPECT_NE(live.samples, noise.samples);

    out.clear();
    EXPECT_EQ(run_command(cli_path() + " --live-synthesis maybe " + project + " 2>&1", &out), 2) << out;
    EXPECT_NE(out.find("takes 'on' or 'off'"), std::string::npos) << out;
}

TEST(OfflineRender, NoModeGoesBeyondFullScaleAndLiveIsWhatPlaybackPlays)
{
    Project p;
    std::vector<float> sound;
    signal_project(p, sound);
    LimiterPrefs prefs("\tVolume limiter: on\n\t\tThreshold: -6 dB\n\t\tSustain duration: 2.3 sec\n"
                       "\t\tRelease duration: 2.3 sec\n");
    std::vector<float> out;
    for (int mode : {synthesis_noise, synthesis_lossless, synthesis_live}) {
        random_seed(7);
        ASSERT_TRUE(render_project_to_sound(p, out, false, mode, &prefs.store)) << mode;
        EXPECT_LE(peak_of(out), 1.0f) << mode;
        EXPECT_GT(peak_of(out), 0.25f) << mode;
    }

    // The live generator alone goes beyond full scale on this material ...
    RenderInput in;
    in.picture = p.composite;
    in.width = p.width;
    in.height = p.height;
    in.fmin = p.fmin;
    in.fmax = p.fmax;
    in.time_resolution = p.time_resolution;
    in.sample_rate = p.sample_rate;
    in.mode = synthesis_live;
    std::vector<float> raw;
    random_seed(7);
    ASSERT_TRUE(render_to_sound(in, raw));
    const float raw_peak = peak_of(raw);
    EXPECT_GT(raw_peak, 1.0f);
    // ... and the file is that sound limited as the audio callback limits it: stereo buffers
    // of 512 frames through one limiter with the stored settings.
    ASSERT_EQ(out.size(), raw.size());
    LimiterState heard;
    limiter_load_prefs(heard, prefs.store);
    std::vector<float> stereo(1024);
    for (size_t at = 0; at < raw.size(); at += 512) {
        const int frames = (int)std::min<size_t>(512, raw.size() - at);
        for (int f = 0; f < frames; f++)
            stereo[2 * f] = stereo[2 * f + 1] = raw[at + f];
        limit_volume(stereo.data(), 2, frames, p.sample_rate, heard);
        for (int f = 0; f < frames; f++) {
            ASSERT_EQ(out[at + f], stereo[2 * f]) << at + f;
            ASSERT_EQ(stereo[2 * f + 1], stereo[2 * f]);
        }
    }
    EXPECT_LE(peak_of(out), 0.502f);  // the -6 dB threshold

    // With the limiter switched off the rendering is brought down to full scale, with a word.
    LimiterPrefs off("\tVolume limiter: off\n");
    StderrCapture err;
    random_seed(7);
    ASSERT_TRUE(render_project_to_sound(p, out, false, synthesis_live, &off.store));
    const std::string said = err.finish();
    EXPECT_EQ(peak_of(out), 1.0f);
    ASSERT_EQ(out.size(), raw.size());
    EXPECT_NEAR(out[raw.size() / 2], raw[raw.size() / 2] / raw_peak, 1e-6f);
    EXPECT_NE(said.find("Warning: the live rendering peaks at"), std::string::npos) << said;

    // The project's own mode is what "no choice" renders.
    p.live_synthesis = false;
    p.lossless = true;
    std::vector<float> own, chosen;
    ASSERT_TRUE(render_project_to_sound(p, own, false, -1, &prefs.store));
    ASSERT_TRUE(render_project_to_sound(p, chosen, false, synthesis_lossless, &prefs.store));
    EXPECT_EQ(own, chosen);
}
