#include "tools/rimbrel-host/RealtimeAudio.h"

#include "tools/rimbrel-host/RenderFiles.h"

#include <algorithm>
#include <chrono>

namespace rimbrel::host {

RealtimeAudio::RealtimeAudio(Plugin& p, double sampleRate, int blockSize, std::vector<TimedMidi> events,
                             bool record, double recordSeconds)
    : plugin(p), rate(sampleRate), block(std::max(1, blockSize)), schedule(std::move(events)), recording(record) {
    std::stable_sort(schedule.begin(), schedule.end(),
                     [](const TimedMidi& a, const TimedMidi& b) { return a.frame < b.frame; });
    if (recording) {
        // A little more than asked for: the thread may run a block or two
        // past the end while the window closes.
        const double seconds = recordSeconds > 0 ? recordSeconds + 1.0 : 600.0;
        recorded.assign(static_cast<std::size_t>(seconds * rate) * 2, 0.0f);
    }
}

RealtimeAudio::~RealtimeAudio() {
    stop();
}

void RealtimeAudio::start() {
    if (running.exchange(true))
        return;
    thread = std::thread([this] { run(); });
}

void RealtimeAudio::stop() {
    running = false;
    if (thread.joinable())
        thread.join();
}

void RealtimeAudio::run() {
    AEffect* effect = plugin.effect();
    plugin.dispatch(effMainsChanged, 0, 1);
    plugin.dispatch(effStartProcess);

    const int numOutputs = std::max(effect->numOutputs, 2);
    const int numInputs = std::max(effect->numInputs, 2);
    std::vector<std::vector<float>> ins(static_cast<std::size_t>(numInputs), std::vector<float>(block, 0.0f));
    std::vector<std::vector<float>> outs(static_cast<std::size_t>(numOutputs), std::vector<float>(block, 0.0f));
    std::vector<float*> inPointers, outPointers;
    for (auto& b : ins)
        inPointers.push_back(b.data());
    for (auto& b : outs)
        outPointers.push_back(b.data());

    // Room for every event of the busiest block, made before processing.
    std::size_t most = 0;
    for (std::size_t i = 0, j = 0; i < schedule.size(); i = j) {
        const int64_t index = schedule[i].frame / block;
        for (j = i; j < schedule.size() && schedule[j].frame / block == index; ++j) {
        }
        most = std::max(most, j - i);
    }
    std::vector<VstMidiEvent> midi(std::max<std::size_t>(most, 1));
    std::vector<std::max_align_t> listStorage(
        (sizeof(VstEvents) + sizeof(VstEvent*) * (midi.size() + 2)) / sizeof(std::max_align_t) + 1);
    auto* list = reinterpret_cast<VstEvents*>(listStorage.data());
    VstEvent** const slots = list->events + 0;  // the record declares two; the storage holds more

    using Clock = std::chrono::steady_clock;
    const auto begin = Clock::now();
    const double blockSeconds = block / rate;
    std::size_t nextEvent = 0;
    int64_t frame = 0;
    for (int64_t n = 0; running.load(std::memory_order_relaxed); ++n) {
        std::size_t count = 0;
        while (nextEvent + count < schedule.size() && schedule[nextEvent + count].frame < frame + block) {
            const TimedMidi& m = schedule[nextEvent + count];
            VstMidiEvent& e = midi[count];
            e = VstMidiEvent{};
            e.type = kVstMidiType;
            e.byteSize = sizeof(VstMidiEvent);
            e.deltaFrames = static_cast<VstInt32>(std::max<int64_t>(0, m.frame - frame));
            e.midiData[0] = static_cast<char>(m.status);
            e.midiData[1] = static_cast<char>(m.data1);
            e.midiData[2] = static_cast<char>(m.data2);
            slots[count] = reinterpret_cast<VstEvent*>(&e);
            ++count;
        }
        nextEvent += count;
        list->numEvents = static_cast<VstInt32>(count);
        list->reserved = 0;
        plugin.dispatch(effProcessEvents, 0, 0, list);

        for (auto& b : outs)
            std::fill(b.begin(), b.end(), 0.0f);
        if (effect->processReplacing)
            effect->processReplacing(effect, inPointers.data(), outPointers.data(), block);

        if (recording) {
            const std::size_t room = recorded.size() / 2 - recordedFrames;
            const std::size_t take = std::min<std::size_t>(room, static_cast<std::size_t>(block));
            for (std::size_t i = 0; i < take; ++i) {
                recorded[(recordedFrames + i) * 2] = outs[0][i];
                recorded[(recordedFrames + i) * 2 + 1] = outs[1][i];
            }
            recordedFrames += take;
        }
        frame += block;
        processed.store(frame);
        std::this_thread::sleep_until(begin + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>((n + 1) * blockSeconds)));
    }
}

bool RealtimeAudio::writeRecording(const std::string& path, std::string& error) const {
    std::unique_ptr<OutputWav> file = OutputWav::create(path, static_cast<int>(rate), error);
    return file && file->write(recorded.data(), static_cast<int64_t>(recordedFrames), error) && file->finish(error);
}

}  // namespace rimbrel::host
