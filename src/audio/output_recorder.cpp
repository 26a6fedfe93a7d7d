#include "audio/output_recorder.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "support/log.h"
#include "support/wav_header.h"

namespace {

// Ring room: 4 s of stereo at 384 kHz rounds up to 4 Mi floats; at 44.1 kHz it holds 47 s.
constexpr size_t ring_floats = size_t(1) << 22;
constexpr int header_bytes = float_wav_header_bytes;

void make_header(unsigned char* h, int sample_rate, long long frames)
{
    float_wav_header(h, 2, sample_rate, (uint64_t)std::max(frames, 0LL));
}

// Appends what the ring holds and rewrites the header, so the file is complete after every
// write. False when the disk refused.
bool drain(OutputRecorder& r)
{
    const size_t end = r.written.load(std::memory_order_acquire);
    const size_t first = r.read.load(std::memory_order_relaxed);
    if (end == first)
        return true;
    const size_t mask = r.capacity - 1;
    for (size_t at = first; at < end;) {
        const size_t start = at & mask;
        const size_t n = std::min(end - at, r.capacity - start);
        if (fwrite(r.ring.get() + start, sizeof(float), n, r.file) != n)
            return false;
        at += n;
    }
    r.read.store(end, std::memory_order_release);
    r.frames_in_file += (long long)((end - first) / 2);
    unsigned char header[header_bytes];
    make_header(header, r.sample_rate, r.frames_in_file);
    return fseek(r.file, 0, SEEK_SET) == 0 && fwrite(header, 1, header_bytes, r.file) == header_bytes &&
           fseek(r.file, 0, SEEK_END) == 0 && fflush(r.file) == 0;
}

void writer_loop(OutputRecorder* r)
{
    bool ok = true;
    while (!r->stop.load() && ok) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        ok = drain(*r);
    }
    if (ok)
        ok = drain(*r);
    if (!ok) {
        r->recording = false;
        log_printf(stderr, "Error: couldn't write the output recording %s\n", r->path.c_str());
    }
}

}  // namespace

OutputRecorder::~OutputRecorder() { output_recorder_finish(*this); }

bool output_recorder_start(OutputRecorder& r, const std::string& path, int sample_rate)
{
    output_recorder_finish(r);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        log_printf(stderr, "Error: couldn't create the output recording %s\n", path.c_str());
        return false;
    }
    unsigned char header[header_bytes];
    make_header(header, sample_rate, 0);
    if (fwrite(header, 1, header_bytes, f) != header_bytes || fflush(f) != 0) {
        fclose(f);
        log_printf(stderr, "Error: couldn't write the output recording %s\n", path.c_str());
        return false;
    }
    if (!r.ring) {
        r.ring = std::make_unique<float[]>(ring_floats);
        r.capacity = ring_floats;
    }
    r.file = f;
    r.path = path;
    r.sample_rate = sample_rate;
    r.written = 0;
    r.read = 0;
    r.dropped = 0;
    r.frames_in_file = 0;
    r.stop = false;
    r.suspended = false;
    r.writer = std::thread(writer_loop, &r);
    r.recording = true;
    log_printf(stdout, "Recording the output to %s\n", path.c_str());
    return true;
}

void output_recorder_push(OutputRecorder& r, const float* stereo, int frames)
{
    if (!r.recording.load(std::memory_order_acquire) || r.suspended.load(std::memory_order_relaxed) || frames <= 0)
        return;
    const size_t n = (size_t)frames * 2;
    const size_t at = r.written.load(std::memory_order_relaxed);
    const size_t free_floats = r.capacity - (at - r.read.load(std::memory_order_acquire));
    if (n > free_floats) {
        r.dropped.fetch_add(frames, std::memory_order_relaxed);
        return;
    }
    const size_t mask = r.capacity - 1;
    const size_t start = at & mask;
    const size_t first = std::min(n, r.capacity - start);
    memcpy(r.ring.get() + start, stereo, first * sizeof(float));
    memcpy(r.ring.get(), stereo + first, (n - first) * sizeof(float));
    r.written.store(at + n, std::memory_order_release);
}

void output_recorder_suspend(OutputRecorder& r, bool suspended) { r.suspended = suspended; }

void output_recorder_finish(OutputRecorder& r)
{
    if (!r.writer.joinable())
        return;
    // The callback stops pushing first; what it pushed before is still written.
    r.recording = false;
    r.stop = true;
    r.writer.join();
    fclose(r.file);
    r.file = nullptr;
    log_printf(stdout, "Output recording %s: %lld frames\n", r.path.c_str(), r.frames_in_file.load());
    if (r.dropped > 0)
        log_printf(stderr, "Warning: %lld frames of the output recording were lost (the disk was too slow)\n",
                   r.dropped.load());
}
