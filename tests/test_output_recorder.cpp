// Recording the sound card's output: the ring from the callback to the writer thread, the
// WAV file valid while it grows, and a recording made while SDL's disk driver plays, read
// back with sox and compared with what the driver was given.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "audio/output_recorder.h"
#include "disk_audio.h"
#include "engine/playback.h"
#include "engine/synthesis_workers.h"
#include "project/project_synthesis.h"

namespace {

// The file's samples as sox reads them: interleaved 32-bit floats.
std::vector<float> sox_samples(const TempDir& dir, const std::string& wav)
{
    const std::string raw = dir.file("sox.raw");
    EXPECT_EQ(run_command("sox -D '" + wav + "' -t f32 -c 2 '" + raw + "'"), 0) << wav;
    return read_disk_file(raw);
}

// sox reads 32-bit float files at a precision of 24 bits: a sample comes back within 2^-24.
void expect_same_samples(const float* got, const float* expected, size_t n)
{
    size_t worst = 0;
    double worst_error = 0.0;
    for (size_t i = 0; i < n; i++) {
        const double e = std::fabs((double)got[i] - (double)expected[i]);
        if (e > worst_error) {
            worst_error = e;
            worst = i;
        }
    }
    EXPECT_LE(worst_error, std::ldexp(1.0, -24)) << "sample " << worst << ": " << got[worst] << " for " << expected[worst];
}

// The file's own samples, bit for bit: what follows the 58-byte header.
std::vector<float> data_chunk(const std::string& wav)
{
    std::vector<unsigned char> bytes = read_binary_file(wav);
    EXPECT_GE(bytes.size(), 58u);
    EXPECT_EQ(memcmp(bytes.data() + 50, "data", 4), 0);
    std::vector<float> v(bytes.size() > 58 ? (bytes.size() - 58) / 4 : 0);
    if (!v.empty())
        memcpy(v.data(), bytes.data() + 58, v.size() * 4);
    return v;
}

long long first_sound(const std::vector<float>& v)
{
    for (size_t i = 0; i < v.size(); i++)
        if (v[i] != 0.0f)
            return (long long)i;
    return -1;
}

TEST(OutputRecorder, WritesWhatIsPushedAndIsValidWhileRecording)
{
    TempDir dir;
    OutputRecorder r;
    const std::string path = dir.file("out.wav");
    ASSERT_TRUE(output_recorder_start(r, path, 22050));
    std::vector<float> pushed;
    std::vector<float> chunk(2 * 300);
    auto push = [&](int n, bool kept) {
        for (int c = 0; c < n; c++) {
            for (size_t i = 0; i < chunk.size(); i++)
                chunk[i] = std::sin(0.001f * (float)(pushed.size() + i)) * (i % 2 ? 0.5f : -0.25f) + (float)c * 1e-4f;
            output_recorder_push(r, chunk.data(), 300);
            if (kept)
                pushed.insert(pushed.end(), chunk.begin(), chunk.end());
        }
    };
    push(40, true);
    // The writer has written within a quarter of a second: the file is a complete WAV already.
    ASSERT_TRUE(wait_until([&] { return r.frames_in_file.load() == 40 * 300; }));
    {
        TempDir copy;
        const std::string snapshot = copy.file("snapshot.wav");
        write_binary_file(snapshot, read_binary_file(path).data(), read_binary_file(path).size());
        std::vector<float> early = sox_samples(copy, snapshot);
        ASSERT_EQ(early.size(), pushed.size());
        expect_same_samples(early.data(), pushed.data(), early.size());
    }
    output_recorder_suspend(r, true);
    push(10, false);
    output_recorder_suspend(r, false);
    push(25, true);
    output_recorder_finish(r);
    EXPECT_EQ(r.dropped.load(), 0);
    std::string rate;
    ASSERT_EQ(run_command("soxi -r '" + path + "'", &rate), 0);
    EXPECT_EQ(std::stoi(rate), 22050);
    std::vector<float> all = sox_samples(dir, path);
    ASSERT_EQ(all.size(), pushed.size());
    expect_same_samples(all.data(), pushed.data(), all.size());
    std::vector<float> exact = data_chunk(path);
    ASSERT_EQ(exact.size(), pushed.size());
    EXPECT_EQ(memcmp(exact.data(), pushed.data(), exact.size() * sizeof(float)), 0);
    // Nothing is pushed once the recording is finished.
    push(1, false);
    EXPECT_EQ(r.frames_in_file.load(), 65 * 300);
}

TEST(OutputRecorder, AnUnwritableFileIsRefused)
{
    OutputRecorder r;
    EXPECT_FALSE(output_recorder_start(r, "/nonexistent-folder/out.wav", 44100));
    const float frame[2] = {0.5f, 0.5f};
    output_recorder_push(r, frame, 1);
    EXPECT_FALSE(r.recording.load());
}

// A small project played in noise mode through the disk driver while the output is recorded.
TEST(OutputRecorder, RecordsWhatTheCallbackPlays)
{
    TempDir files;
    AudioTestPrefs prefs{"\tBuffer length: 200 samples\n\tPreferred driver: disk\n"};
    Project p;
    PlaybackState s;
    AudioOutput out;
    use_disk_file(files.file("heard.raw"));
    const int width = 20, height = 16;
    p.sample_rate = 8000;
    p.fmin = p.analysis_fmin = 100.0f;
    p.fmax = p.analysis_fmax = 3000.0f;
    p.time_resolution = p.analysis_time_resolution = 10.0f;
    p.width = p.composite_width = width;
    p.height = p.composite_height = height;
    update_block_width(p);
    p.composite = image_alloc(height, width);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            p.composite[y][x] = (float)((x + 3 * y) % 7 + 1) / 7.0f;
    out.buffer_length = 200;
    ASSERT_TRUE(audio_init(out, s, p, prefs.store));
    s.courtesy_sleeps = false;
    p.content_changed = content_pixels;
    SynthesisMessage message;
    ASSERT_TRUE(project_synthesis_update(s, p, project_knobs(p), &message));
    ASSERT_TRUE(wait_until([&] {
        std::lock_guard<std::mutex> lock(s.block_status_lock);
        for (int v : s.block_status)
            if (v != block_done)
                return false;
        return !s.block_status.empty();
    }));
    synthesis_stop_workers(s);

    ASSERT_TRUE(wait_for_callbacks(out, 3));
    const std::string wav = files.file("recorded.wav");
    ASSERT_TRUE(audio_record_start(out, wav));
    playback_start(s);
    ASSERT_TRUE(wait_until([&] { return s.play_state == play_stopped; }));
    ASSERT_TRUE(wait_for_callbacks(out, out.callbacks + 3));
    audio_record_finish(out);
    audio_close(out);
    synthesis_shutdown(s);

    std::vector<float> heard = read_disk_file(files.file("heard.raw"));
    std::vector<float> recorded = sox_samples(files, wav);
    const long long h = first_sound(heard), r = first_sound(recorded);
    ASSERT_GE(h, 0);
    ASSERT_GE(r, 0);
    // The recording began at a callback and holds every sample from there, the sound included.
    const long long offset = h - r;
    ASSERT_GE(offset, 0);
    EXPECT_EQ(offset % (2 * out.buffer_length), 0);
    ASSERT_LE((size_t)offset + recorded.size(), heard.size());
    EXPECT_GE(recorded.size(), (size_t)(2 * 2 * 8000));  // the whole 2 s sound
    expect_same_samples(recorded.data(), heard.data() + offset, recorded.size());
    std::vector<float> exact = data_chunk(wav);
    ASSERT_EQ(exact.size(), recorded.size());
    EXPECT_EQ(memcmp(exact.data(), heard.data() + offset, exact.size() * sizeof(float)), 0);
}

}  // namespace
