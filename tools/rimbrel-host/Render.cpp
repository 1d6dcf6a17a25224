#include "tools/rimbrel-host/Render.h"

#include "tools/rimbrel-host/RenderFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace rimbrel::host {

namespace {

bool parseInteger(const std::string& text, long long& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 0);
    return errno == 0 && end && *end == 0;
}

// The event list handed to effProcessEvents: VstEvents with room for `capacity`
// event pointers after its header.
class EventList {
public:
    explicit EventList(size_t capacity)
        : storage_(sizeof(VstEvents) + sizeof(VstEvent*) * std::max<size_t>(capacity, 2)),
          events_(capacity) {}

    VstEvents* fill(const std::vector<TimedMidi>& all, size_t first, size_t count,
                    int64_t blockStart) {
        auto* list = reinterpret_cast<VstEvents*>(storage_.data());
        list->numEvents = VstInt32(count);
        list->reserved = 0;
        // The record declares two pointers; the storage holds `count`.
        VstEvent** const slots = list->events + 0;
        for (size_t i = 0; i < count; ++i) {
            const TimedMidi& m = all[first + i];
            VstMidiEvent& e = events_[i];
            e = VstMidiEvent{};
            e.type = kVstMidiType;
            e.byteSize = sizeof(VstMidiEvent);
            e.deltaFrames = VstInt32(m.frame - blockStart);
            e.midiData[0] = char(m.status);
            e.midiData[1] = char(m.data1);
            e.midiData[2] = char(m.data2);
            slots[i] = reinterpret_cast<VstEvent*>(&e);
        }
        return list;
    }

private:
    std::vector<std::max_align_t> storage_;
    std::vector<VstMidiEvent> events_;
};

}  // namespace

bool parseNoteSpec(const std::string& text, std::vector<TimedMidi>& events, std::string& error) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, ':');) parts.push_back(part);
    long long frame = 0, note = 0, length = 0;
    if ((parts.size() != 2 && parts.size() != 3) || !parseInteger(parts[0], frame) ||
        !parseInteger(parts[1], note) || frame < 0 || note < 0 || note > 127 ||
        (parts.size() == 3 && (!parseInteger(parts[2], length) || length < 0))) {
        error = "bad --note '" + text + "' (FRAME:NOTE[:LENGTH])";
        return false;
    }
    events.push_back({frame, 0x90, uint8_t(note), 100});
    if (parts.size() == 3) events.push_back({frame + length, 0x80, uint8_t(note), 0});
    return true;
}

bool readMidiText(const std::string& path, std::vector<TimedMidi>& events, std::string& error) {
    std::ifstream file(path);
    if (!file) {
        error = "cannot read " + path;
        return false;
    }
    int lineNumber = 0;
    for (std::string line; std::getline(file, line);) {
        ++lineNumber;
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string w; fields >> w;) words.push_back(w);
        if (words.empty()) continue;
        long long v[4] = {};
        bool ok = words.size() == 4;
        for (size_t i = 0; ok && i < 4; ++i) ok = parseInteger(words[i], v[i]);
        ok = ok && v[0] >= 0 && v[1] >= 0 && v[1] <= 255 && v[2] >= 0 && v[2] <= 255 &&
             v[3] >= 0 && v[3] <= 255;
        if (!ok) {
            error = path + ":" + std::to_string(lineNumber) +
                    ": expected 'frame status data1 data2'";
            return false;
        }
        events.push_back({v[0], uint8_t(v[1]), uint8_t(v[2]), uint8_t(v[3])});
    }
    return true;
}

bool render(Plugin& plugin, RenderOptions options, std::string& error) {
    AEffect* effect = plugin.effect();
    if (options.blockSize <= 0 || options.blockSize > 1 << 20) {
        error = "bad block size";
        return false;
    }

    // ---- input ----
    std::vector<float> input;  // interleaved
    int inputChannels = 0;
    int64_t inputFrames = 0;
    if (!options.inputPath.empty()) {
        InputSound sound;
        if (!readInputSound(options.inputPath, sound, error)) return false;
        inputChannels = sound.channels;
        inputFrames = sound.frames;
        input = std::move(sound.interleaved);
        if (!options.sampleRateGiven) options.sampleRate = sound.sampleRate;
    }
    std::stable_sort(options.events.begin(), options.events.end(),
                     [](const TimedMidi& a, const TimedMidi& b) { return a.frame < b.frame; });
    int64_t frames = options.frames;
    if (frames < 0) {
        if (!options.inputPath.empty()) {
            frames = inputFrames;
        } else {
            frames = int64_t(options.sampleRate);
            if (!options.events.empty()) frames += options.events.back().frame;
        }
    }

    // ---- output ----
    std::unique_ptr<OutputWav> out = OutputWav::create(options.outputPath, int(options.sampleRate), error);
    if (!out) return false;

    HostState& host = hostState();
    host.sampleRate = options.sampleRate;
    host.blockSize = options.blockSize;
    host.processLevel = kVstProcessLevelOffline;

    const int block = options.blockSize;
    const int numInputs = std::max(effect->numInputs, 0);
    const int numOutputs = std::max(effect->numOutputs, 0);
    std::vector<std::vector<float>> inBuffers(std::max(numInputs, 2), std::vector<float>(block));
    std::vector<std::vector<float>> outBuffers(std::max(numOutputs, 2),
                                               std::vector<float>(block));
    std::vector<float*> inPointers, outPointers;
    for (auto& b : inBuffers) inPointers.push_back(b.data());
    for (auto& b : outBuffers) outPointers.push_back(b.data());

    size_t mostPerBlock = 0;
    for (size_t i = 0, j = 0; i < options.events.size(); i = j) {
        const int64_t blockIndex = options.events[i].frame / block;
        for (j = i; j < options.events.size() && options.events[j].frame / block == blockIndex; ++j) {
        }
        mostPerBlock = std::max(mostPerBlock, j - i);
    }
    EventList eventList(mostPerBlock);

    plugin.dispatch(effOpen);
    plugin.dispatch(effSetSampleRate, 0, 0, nullptr, float(options.sampleRate));
    plugin.dispatch(effSetBlockSize, 0, block);
    plugin.dispatch(effMainsChanged, 0, 1);
    plugin.dispatch(effStartProcess);

    std::vector<float> interleaved(size_t(block) * 2);
    size_t nextEvent = 0;
    bool ok = true;
    for (int64_t start = 0; start < frames; start += block) {
        const int n = int(std::min<int64_t>(block, frames - start));
        for (int c = 0; c < int(inBuffers.size()); ++c) {
            float* dest = inBuffers[size_t(c)].data();
            for (int i = 0; i < n; ++i) {
                const int64_t f = start + i;
                dest[i] = (inputChannels > 0 && f < inputFrames)
                              ? input[size_t(f) * size_t(inputChannels) + size_t(c % inputChannels)]
                              : 0.0f;
            }
        }
        size_t count = 0;
        while (nextEvent + count < options.events.size() &&
               options.events[nextEvent + count].frame < start + n)
            ++count;
        VstEvents* list = eventList.fill(options.events, nextEvent, count, start);
        nextEvent += count;
        plugin.dispatch(effProcessEvents, 0, 0, list);

        for (auto& b : outBuffers) std::fill(b.begin(), b.begin() + n, 0.0f);
        if ((effect->flags & effFlagsCanReplacing) && effect->processReplacing)
            effect->processReplacing(effect, inPointers.data(), outPointers.data(), n);
        else if (effect->process)
            effect->process(effect, inPointers.data(), outPointers.data(), n);

        const float* left = outBuffers[0].data();
        const float* right = numOutputs >= 2 ? outBuffers[1].data() : left;
        for (int i = 0; i < n; ++i) {
            interleaved[size_t(i) * 2] = left[i];
            interleaved[size_t(i) * 2 + 1] = right[i];
        }
        if (!out->write(interleaved.data(), n, error)) {
            ok = false;
            break;
        }
    }

    plugin.dispatch(effStopProcess);
    plugin.dispatch(effMainsChanged, 0, 0);
    host.processLevel = kVstProcessLevelUser;
    if (ok) ok = out->finish(error);
    return ok;
}

}  // namespace rimbrel::host
