#include "tests/KeyAudioSupport.h"
#include "tests/fuzz/SeedCorpus.h"

#include "formats/FieldKitWriter.h"
#include "formats/KitExport.h"
#include "platform/x11/UriList.h"
#include "kit/Kit.h"
#include "kit/KitState.h"
#include "platform/ownaudio/FlacAudio.h"

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace rimbrel::fuzz {

namespace {

std::vector<float> signal(int frames, int channels, float amplitude) {
    std::vector<float> s(std::size_t(frames) * std::size_t(channels));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            s[std::size_t(i * channels + c)] = amplitude * float(std::sin(0.3 * i + c));
    return s;
}

bool writeSound(const std::string& path, int format, int channels, int frames, float amplitude = 0.7f) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = channels;
    info.format = format;
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!sf) return false;
    const std::vector<float> s = signal(frames, channels, amplitude);
    sf_writef_float(sf, s.data(), frames);
    sf_close(sf);
    return true;
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int loaderSeeds(const std::string& dir) {
    struct Sound {
        const char* name;
        int format;
        int channels;
        int frames;
    };
    static const Sound kSounds[] = {
        {"mono16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 40},
        {"stereo24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 30},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 20},
        {"ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, 30},
        {"adpcm.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, 64},
        {"mono16.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 40},
        {"stereo8.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 2, 20},
        {"double.aiff", SF_FORMAT_AIFF | SF_FORMAT_DOUBLE, 1, 10},
        {"four.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4, 10},
        {"short.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 3},
        {"mono.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 200},
        {"stereo.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 300},
        {"mono.au", SF_FORMAT_AU | SF_FORMAT_PCM_16, 1, 20},
        {"mono.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16, 1, 20},
        {"mono.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16, 1, 20},
        {"mono.voc", SF_FORMAT_VOC | SF_FORMAT_PCM_16, 1, 20},
        {"gsm.wav", SF_FORMAT_WAV | SF_FORMAT_GSM610, 1, 320},
        {"msadpcm.wav", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 2, 64},
        {"g721.wav", SF_FORMAT_WAV | SF_FORMAT_G721_32, 1, 64},
        {"mono.rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 1, 20},
        {"dwvw.aiff", SF_FORMAT_AIFF | SF_FORMAT_DWVW_12, 1, 40},
        {"mono.paf", SF_FORMAT_PAF | SF_FORMAT_PCM_24, 1, 20},
        {"mono.svx", SF_FORMAT_SVX | SF_FORMAT_PCM_16, 1, 20},
        {"mono.nist", SF_FORMAT_NIST | SF_FORMAT_PCM_16, 1, 20},
        {"mono.ircam", SF_FORMAT_IRCAM | SF_FORMAT_FLOAT, 1, 20},
        {"mono.mat5", SF_FORMAT_MAT5 | SF_FORMAT_DOUBLE, 1, 20},
        {"mono.pvf", SF_FORMAT_PVF | SF_FORMAT_PCM_16, 1, 20},
        {"mono.xi", SF_FORMAT_XI | SF_FORMAT_DPCM_16, 1, 20},
        {"mono.htk", SF_FORMAT_HTK | SF_FORMAT_PCM_16, 1, 20},
        {"mono.sds", SF_FORMAT_SDS | SF_FORMAT_PCM_16, 1, 20},
        {"mono.avr", SF_FORMAT_AVR | SF_FORMAT_PCM_16, 1, 20},
        {"mono.wve", SF_FORMAT_WVE | SF_FORMAT_ALAW, 1, 20},
        {"stereo.mpc", SF_FORMAT_MPC2K | SF_FORMAT_PCM_16, 2, 20},
        {"alac.caf", SF_FORMAT_CAF | SF_FORMAT_ALAC_16, 1, 64},
        {"mono.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 1, 960},
        {"mono.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 1, 1152},
    };
    int n = 0;
    for (const Sound& s : kSounds) n += writeSound(dir + "/" + s.name, s.format, s.channels, s.frames);
    // Float samples far outside full scale, which the loader clamps.
    n += writeSound(dir + "/loud.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 16, 5.0f);
    // A header that claims a billion frames over a few bytes of data.
    {
        std::string wav = readBytes(dir + "/mono16.wav");
        if (wav.size() > 44) {
            const uint32_t lie = 2000000000u;
            for (int i = 0; i < 4; ++i) wav[40 + i] = char((lie >> (8 * i)) & 0xFF);
            writeBytes(dir + "/lying.wav", wav);
            ++n;
        }
    }
    writeBytes(dir + "/text.txt", "not a sound file\n");
    return n + 1;
}

// A Field kit's APPL body (4096 bytes after "op-1") changed by edit and
// padded or cut back to its size, written as name.
bool writeEditedFieldKit(const std::string& dir, const std::string& name, std::string kit,
                         const std::function<void(std::string&)>& edit, int channels = 2) {
    constexpr std::size_t kJson = 108, kBytes = 4096;
    if (kit.size() < kJson + kBytes) return false;
    std::string json = kit.substr(kJson, kBytes);
    edit(json);
    json.resize(kBytes, ' ');
    kit.replace(kJson, kBytes, json);
    kit[33] = char(channels);
    writeBytes(dir + "/" + name, kit);
    return true;
}

// A Field kit (a stereo key, a mono key, the Field's settings and pan) and
// kits that lie about it: mono audio under a stereo description, positions
// past the audio, a description longer than its chunk.
int fieldKitSeeds(const std::string& dir) {
    std::vector<float> left(40), right(40), mono(12);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = 0.3f * float(std::sin(0.5 * double(i)));
        right[i] = -0.6f * left[i];
    }
    for (std::size_t i = 0; i < mono.size(); ++i) mono[i] = 0.05f * float(i);
    FieldKitInput in;
    in.audio[0] = {{left.data(), right.data()}, 40};
    in.audio[2] = {{mono.data(), nullptr}, 12};
    in.keyName[0] = "/a/stereo.wav";
    in.keyName[2] = "/a/mono.wav";
    in.playMode[0] = 0.0f;
    in.reverse[2] = 1.0f;
    in.pan[0] = 0.1f;
    in.pan[2] = 0.9f;
    in.mtime = 1700000000.0;
    if (exportFieldKit((dir + "/field.aif").c_str(), in) != ExportResult::Written) return 0;
    const std::string kit = readBytes(dir + "/field.aif");
    int n = 1;
    n += writeEditedFieldKit(
        dir, "field-mono.aif", kit, [](std::string&) {}, 1);
    n += writeEditedFieldKit(dir, "field-lying.aif", kit, [](std::string& json) {
        const std::size_t at = json.find("\"end\":[");
        if (at != std::string::npos) json.replace(at + 7, json.find(',', at) - at - 7, "2147483646");
    });
    n += writeEditedFieldKit(dir, "field-long.aif", kit, [](std::string& json) {
        const std::size_t at = json.find("\"name\":\"");
        if (at != std::string::npos) json.insert(at + 8, std::string(5000, 'x'));
    });
    n += writeEditedFieldKit(dir, "field-fourth.aif", kit, [](std::string& json) {
        const std::size_t at = json.find("\"playmode\":[");
        if (at != std::string::npos) json.replace(at + 12, 4, "20000");
    });
    return n;
}

int kitSeeds(const std::string& dir) {
    std::unique_ptr<Kit> kit(new Kit);
    const int32_t lengths[] = {12, 30, 0, 7, 2};
    for (int k = 0; k < 5; ++k) {
        std::vector<float> frames(std::size_t(lengths[k]), 0.0f);
        for (int i = 2; i + 3 < lengths[k]; ++i) frames[std::size_t(i)] = 0.1f * float(k + 1) * float((i % 3) - 1);
        test::setKeyAudio(*kit, k, frames);
    }
    const char* names[kNumKeys] = {"/a/kick.wav", "/a/snare.wav", nullptr, "/a/hat.wav", "/a/tick.wav"};
    KitExportInput in = kitExportInput(*kit, names);
    in.pitch[1] = 0.75f;
    in.playMode[3] = 1.0f;
    in.reverse[4] = 1.0f;
    in.volume[0] = 0.2f;
    int n = 0;
    n += exportKit((dir + "/kit.aif").c_str(), in) == ExportResult::Written;
    int files = 0;
    exportIndividualFiles((dir + "/key.aif").c_str(), in, &files);
    n += files;
    n += writeSound(dir + "/plain.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 20);
    return n + fieldKitSeeds(dir);
}

int uriListSeeds(const std::string& dir) {
    const std::vector<std::string> lists = {
        makeUriList({"/home/user/Samples/kick.wav", "/home/user/Samples/snare drum.aiff"}),
        "file:///tmp/a%20b.wav\r\nfile://localhost/tmp/c.wav\r\n# comment\r\nfile:/tmp/d.wav\n",
        "FILE://LOCALHOST/x/%C3%A9t%c3%A9.wav\nhttp://example.com/a.wav\nsmb://host/share/b.wav\n",
        "file://otherhost/a.wav\nfile:relative.wav\n\n   \nfile:///a%2/b%zz%%41\n",
        "file:///with%00nul.wav\r\nfile:///ok?query#frag+plus.wav\r\n",
        std::string("file:///trailing.wav\n\0\0", 23),
        "trash:///deleted.wav\r\nfile:///\r\nfile:///%2F%2f\r\n",
    };
    int n = 0;
    for (const std::string& l : lists) writeBytes(dir + "/list" + std::to_string(n++) + ".txt", l);
    // Long lines: one path of 40000 bytes, and a line of escapes, the last cut short.
    writeBytes(dir + "/long-path.txt", "file:///" + std::string(40000, 'a') + "\r\nfile:///b\r\n");
    std::string escapes = "file://localhost/";
    for (int i = 0; i < 8000; ++i) escapes += "%e2%82%ac";
    writeBytes(dir + "/long-escapes.txt", escapes + "%4");
    return n + 2;
}

// Kit states as the plug-in writes them: empty, a Field kit of stereo, mono
// and nameless keys, a long quiet key, full-scale audio, and a state with a
// newer minor version's additions.
int kitStateSeeds(const std::string& dir) {
    const auto makeKey = [](int k, int32_t length, int channels, float amplitude) {
        KitStateKey key;
        key.key = k;
        key.name = "/home/user/Échantillons/" + std::to_string(k) + ".wav";
        key.settings.pitch = k - 12;
        key.settings.playMode = k % 3;
        key.settings.reverse = k % 2 == 1;
        key.settings.volume = 0.25f * float(k % 16);
        key.settings.pan = float(k % 5) * 0.5f - 1.0f;
        key.length = length;
        key.channels = length > 0 ? channels : 0;
        for (int c = 0; c < key.channels; ++c) {
            std::vector<float>& channel = c == 0 ? key.left : key.right;
            for (int i = 0; i < length; ++i) channel.push_back(amplitude * float(std::sin(0.05 * i * (k + 1) + c)));
        }
        return key;
    };
    std::vector<KitStateData> states(5);
    states[1].target = KitTarget::Op1Field;
    states[1].keys = {makeKey(0, 600, 2, 0.8f), makeKey(5, 300, 1, 0.3f), makeKey(9, 0, 0, 0.0f), makeKey(23, 40, 2, 0.01f)};
    states[2].keys = {makeKey(3, 20000, 1, 0.0f)};
    states[3].keys = {makeKey(1, 64, 2, 1.0f)};
    states[4].keys = {makeKey(2, 100, 1, 0.5f)};
    int n = 0;
    for (std::size_t i = 0; i < states.size(); ++i) {
        std::vector<uint8_t> bytes = encodeKitState(states[i]);
        if (bytes.size() < 12) continue;
        if (i == 4) {
            // Minor version 1 with a record of a kind this version does not know.
            bytes[6] = 1;
            const uint8_t extra[] = {'X', 'T', 'R', 'A', 3, 0, 0, 0, 7, 8, 9};
            bytes.insert(bytes.end(), std::begin(extra), std::end(extra));
            const uint32_t size = uint32_t(bytes.size() - 12);
            for (int b = 0; b < 4; ++b) bytes[std::size_t(8 + b)] = uint8_t(size >> (8 * b));
        }
        writeBytes(dir + "/state" + std::to_string(i) + ".bin", std::string(bytes.begin(), bytes.end()));
        ++n;
    }
    return n;
}

// Host scripts in the midi check's language (see MidiCheck.cpp).
int midiSeeds(const std::string& dir) {
    auto event = [](std::string& s, uint8_t status, uint8_t note, uint8_t velocity, uint16_t frame) {
        s += char(1);  // kind: a MIDI event
        s += char(0);  // deltaFrames: u16 follows
        s += char(frame & 0xFF);
        s += char(frame >> 8);
        s += char(status);  // status as given (>= 128)
        s += char(note);    // note as given (>= 128 keeps it) or key index
        s += char(velocity);
        s += char(0);
    };
    auto block = [](std::string& s, uint16_t frames, uint8_t how) {
        s += char(2);
        s += char(0);
        s += char(frames & 0xFF);
        s += char(frames >> 8);
        s += char(how);
    };
    std::vector<std::string> scripts;
    {
        std::string s;  // notes on two keys, a block, note-offs, a block
        s += char(0);
        s += char(2);
        event(s, 0x90, 0, 100, 0);
        event(s, 0x90, 5, 100, 10);
        s += char(0);
        block(s, 512, 3);
        s += char(0);
        s += char(1);
        event(s, 0x80, 0, 0, 100);
        s += char(0);
        block(s, 256, 0);
        scripts.push_back(s);
    }
    {
        std::string s;  // loop mode, reversed, pitched up, then a long block
        const char params[] = {4, 101, 23, 2, 4, 102, 23, 2, 4, 100, 23, 14};
        s.append(params, sizeof params);
        s += char(0);
        s += char(1);
        event(s, 0x90, 23, 1, 0);
        s += char(0);
        block(s, 4096, 16);
        scripts.push_back(s);
    }
    {
        std::string s;  // auditions outside processing, volume set to odd values
        s += char(8);
        s += char(13);
        s += char(4);
        s += char(243);
        s += char(12);
        s += char(10);
        block(s, 64, 5);
        s += char(5);
        s += char(0);
        s += char(6);
        s += char(10);
        s += std::string(4, char(0xFF));
        s += char(7);
        s += char(171);
        scripts.push_back(s);
    }
    int n = 0;
    for (const std::string& s : scripts) writeBytes(dir + "/script" + std::to_string(n++) + ".bin", s);
    return n;
}

// Short FLAC streams as libsndfile writes them at FLAC's levels 0, 4 and 8
// (the higher ones with LPC subframes), of 16 and 24 bits, and as the own
// encoder writes them.
int flacSeeds(const std::string& dir) {
    int n = 0;
    for (int channels : {1, 2})
        for (int frames : {1, 700, 4097}) {
            for (double level : {0.0, 0.5, 1.0})
                for (int bits : {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24}) {
                    const std::string path = dir + "/libsndfile" + std::to_string(n++) + ".flac";
                    SF_INFO info{};
                    info.samplerate = 44100;
                    info.channels = channels;
                    info.format = SF_FORMAT_FLAC | bits;
                    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
                    if (!sf) continue;
                    sf_command(sf, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level);
                    const std::vector<float> s = signal(frames, channels, 0.05f);
                    sf_writef_float(sf, s.data(), frames);
                    sf_close(sf);
                }
            auto split = std::vector<std::vector<float>>(std::size_t(channels));
            const std::vector<float> s = signal(frames, channels, 0.05f);
            for (std::size_t i = 0; i < s.size(); ++i) split[i % std::size_t(channels)].push_back(s[i]);
            const float* pointers[2] = {split[0].data(), split.back().data()};
            std::vector<uint8_t> bytes;
            if (!platform::ownaudio::encodeFlacAudio(pointers, channels, frames, bytes)) continue;
            writeBytes(dir + "/own" + std::to_string(n++) + ".flac", std::string(bytes.begin(), bytes.end()));
        }
    return n;
}

}  // namespace

int writeSeeds(const std::string& target, const std::string& folder) {
    // The own decoder starts from the loader's sound files of every kind.
    if (target == "loader" || target == "ownaudio") return loaderSeeds(folder);
    if (target == "urilist") return uriListSeeds(folder);
    if (target == "kitreader") return kitSeeds(folder);
    if (target == "midi") return midiSeeds(folder);
    if (target == "ownflac") return flacSeeds(folder);
    if (target == "kitstate") return kitStateSeeds(folder);
    return 0;
}

}  // namespace rimbrel::fuzz
