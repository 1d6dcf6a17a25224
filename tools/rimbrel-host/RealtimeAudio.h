// The audio role of `rimbrel-host editor`: a thread that processes blocks
// at the pace of real time while the editor runs, as a DAW's audio thread
// does.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "tools/rimbrel-host/PluginLoader.h"
#include "tools/rimbrel-host/Render.h"

namespace rimbrel::host {

class RealtimeAudio {
public:
    // `events` at frames counted from the start of processing. With
    // `record`, up to `recordSeconds` of output are kept for writeRecording.
    RealtimeAudio(Plugin& plugin, double sampleRate, int blockSize, std::vector<TimedMidi> events, bool record,
                  double recordSeconds);
    ~RealtimeAudio();  // stops the thread
    RealtimeAudio(const RealtimeAudio&) = delete;
    RealtimeAudio& operator=(const RealtimeAudio&) = delete;

    // Starts the thread: effMainsChanged(1), effStartProcess, then blocks of
    // effProcessEvents + processReplacing until stop().
    void start();
    // Ends the thread after its current block. Processing is then off as far
    // as this object goes; the caller sends effStopProcess and
    // effMainsChanged(0).
    void stop();

    int64_t framesProcessed() const { return processed.load(); }
    // Writes what was recorded as a two-channel 32-bit float WAV.
    bool writeRecording(const std::string& path, std::string& error) const;

private:
    void run();

    Plugin& plugin;
    double rate;
    int block;
    std::vector<TimedMidi> schedule;
    bool recording;
    std::vector<float> recorded;  // interleaved, allocated before the thread starts
    std::size_t recordedFrames = 0;
    std::atomic<bool> running{false};
    std::atomic<int64_t> processed{0};
    std::thread thread;
};

}  // namespace rimbrel::host
