// Recording what the sound card is given: the audio callback hands its samples, after the
// limiter, through a lock-free ring to a writer thread that appends them to a 32-bit float
// stereo WAV file. The header is rewritten after every write, so the file is valid at all
// times and a crash loses at most the samples of the last write (a quarter of a second).
#pragma once
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

struct OutputRecorder {
    // The ring: written by the audio callback only, read by the writer thread only.
    std::unique_ptr<float[]> ring;
    size_t capacity = 0;                       // floats, a power of two
    std::atomic<size_t> written{0}, read{0};   // running float counts
    std::atomic<bool> recording{false};        // the callback pushes while set
    std::atomic<bool> suspended{false};        // "Suspend Output to File": pushes are skipped
    std::atomic<bool> stop{false};
    std::atomic<long long> dropped{0};         // frames lost to a full ring (a stalled disk)
    std::atomic<long long> frames_in_file{0};

    std::thread writer;
    FILE* file = nullptr;
    std::string path;
    int sample_rate = 44100;

    OutputRecorder() = default;
    OutputRecorder(const OutputRecorder&) = delete;
    OutputRecorder& operator=(const OutputRecorder&) = delete;
    ~OutputRecorder();
};

// Creates the file with an empty stereo float WAV at `sample_rate` and starts the writer
// thread; a recording in progress is finished first. False, with one log line, when the file
// cannot be created.
bool output_recorder_start(OutputRecorder& r, const std::string& path, int sample_rate);
// The audio callback's part: copies `frames` stereo frames into the ring without locking or
// allocating; frames that do not fit are counted as dropped.
void output_recorder_push(OutputRecorder& r, const float* stereo, int frames);
// Pauses (true) or resumes (false) the recording; the file stays open.
void output_recorder_suspend(OutputRecorder& r, bool suspended);
// Writes what the ring still holds, closes the file and joins the thread. Logs the frames
// written (and any dropped).
void output_recorder_finish(OutputRecorder& r);
