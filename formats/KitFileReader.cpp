#include "formats/KitFileReader.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "platform/Files.h"

namespace rimbrel {

namespace {

constexpr uint64_t kMaxFileBytes = uint64_t(256) << 20;

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
uint16_t be16(const uint8_t* p) { return uint16_t(uint16_t(p[0]) << 8 | p[1]); }

bool printableId(const uint8_t* p) {
    for (int i = 0; i < 4; ++i)
        if (p[i] < 0x20 || p[i] > 0x7e) return false;
    return true;
}

std::string idText(const uint8_t* p) { return std::string(reinterpret_cast<const char*>(p), 4); }

std::string format(const char* fmt, unsigned long long a, unsigned long long b = 0) {
    char line[256];
    std::snprintf(line, sizeof line, fmt, a, b);
    return line;
}

using json = nlohmann::json;

// One per-key array of 24 integers. Fractional numbers are taken rounded.
bool readKeyArray(const json& object, const char* key, std::array<int64_t, 24>& values, KitFile& file,
                  bool required) {
    const auto it = object.find(key);
    if (it == object.end()) {
        (required ? file.errors : file.warnings).push_back(std::string("description has no \"") + key + "\" array");
        return false;
    }
    if (!it->is_array() || it->size() != 24) {
        file.errors.push_back(std::string("description's \"") + key + "\" is not an array of 24 numbers");
        return false;
    }
    std::array<int64_t, 24> out{};
    for (std::size_t i = 0; i < 24; ++i) {
        const json& v = (*it)[i];
        if (v.is_number_integer()) {
            out[i] = v.is_number_unsigned() ? int64_t(std::min<uint64_t>(v.get<uint64_t>(), INT64_MAX))
                                            : v.get<int64_t>();
        } else if (v.is_number_float() && std::isfinite(v.get<double>()) && std::fabs(v.get<double>()) < 1e15) {
            out[i] = int64_t(std::llround(v.get<double>()));
        } else {
            file.errors.push_back(std::string("description's \"") + key + "\" holds a value that is not a number");
            return false;
        }
    }
    values = out;
    return true;
}

void parseDescription(const uint8_t* body, uint64_t size, KitFile& file) {
    KitFileDescription& d = file.description;
    d.present = true;
    std::size_t n = std::size_t(size);
    while (n > 0 && (body[n - 1] == 0 || body[n - 1] == ' ' || body[n - 1] == '\n' || body[n - 1] == '\r' ||
                     body[n - 1] == '\t'))
        --n;
    d.text.assign(reinterpret_cast<const char*>(body), n);

    json root;
    try {
        root = json::parse(d.text);
    } catch (const json::parse_error& e) {
        // Input that ends inside the JSON: the description is longer than
        // the chunk that holds it.
        file.errors.push_back(e.byte > d.text.size() && !d.text.empty() && d.text[0] == '{'
                                  ? "description runs past the end of its APPL chunk"
                                  : "description is not a JSON object");
        return;
    } catch (...) {
        file.errors.push_back("description is not a JSON object");
        return;
    }
    if (!root.is_object()) {
        file.errors.push_back("description is not a JSON object");
        return;
    }
    d.parsed = true;
    if (const auto it = root.find("drum_version"); it != root.end() && it->is_number_integer()) {
        d.drumVersion = it->get<int64_t>();
        if (d.drumVersion != 1 && d.drumVersion != 2)
            file.warnings.push_back(format("unknown drum_version %lld", static_cast<unsigned long long>(d.drumVersion)));
    } else {
        file.warnings.push_back("description has no drum_version");
    }
    if (const auto it = root.find("type"); it != root.end() && it->is_string()) {
        d.type = it->get<std::string>();
        if (d.type != "drum") file.errors.push_back("description's type is not \"drum\"");
    } else {
        file.errors.push_back("description has no type");
    }
    if (const auto it = root.find("name"); it != root.end() && it->is_string()) d.name = it->get<std::string>();
    if (const auto it = root.find("stereo"); it != root.end() && it->is_boolean()) d.stereo = it->get<bool>();

    d.hasStart = readKeyArray(root, "start", d.start, file, true);
    d.hasEnd = readKeyArray(root, "end", d.end, file, true);
    d.hasPitch = readKeyArray(root, "pitch", d.pitch, file, false);
    d.hasPlaymode = readKeyArray(root, "playmode", d.playmode, file, false);
    d.hasReverse = readKeyArray(root, "reverse", d.reverse, file, false);
    d.hasVolume = readKeyArray(root, "volume", d.volume, file, false);
    if (root.contains("pan")) d.hasPan = readKeyArray(root, "pan", d.pan, file, false);

    for (int k = 0; k < 24; ++k) {
        const bool startOk = !d.hasStart || (d.start[k] >= 0 && d.start[k] <= 2147483646);
        const bool endOk = !d.hasEnd || (d.end[k] >= 0 && d.end[k] <= 2147483646);
        if (!startOk || !endOk) {
            file.errors.push_back(format("key %llu: position outside 0..2147483646", k));
            break;
        }
    }
}

void parseCommon(const uint8_t* body, uint64_t size, KitFile& file) {
    if (file.hasCommon) {
        file.errors.push_back("more than one COMM chunk");
        return;
    }
    if (size < 18 || (file.aifc && size < 22)) {
        file.errors.push_back(format("COMM chunk too short (%llu bytes)", size));
        return;
    }
    file.hasCommon = true;
    file.channels = be16(body);
    file.frames = be32(body + 2);
    file.bits = be16(body + 6);
    file.sampleRate = decodeExtended80(body + 8);
    file.compression = file.aifc ? idText(body + 18) : "NONE";
    if (file.compression == "sowt") {
        file.littleEndian = true;
    } else if (file.compression != "NONE" && file.compression != "twos") {
        file.errors.push_back("unsupported compression \"" + file.compression + "\"");
    }
    if (file.channels < 1) file.errors.push_back("COMM gives no channels");
    if (file.bits < 1 || file.bits > 32) file.errors.push_back(format("COMM gives %llu bits per sample", file.bits));
    if (!(file.sampleRate > 0.0)) file.errors.push_back("COMM gives no sample rate");
}

void parseSound(const uint8_t* body, uint64_t size, uint64_t bodyOffset, KitFile& file) {
    if (file.hasSound) {
        file.errors.push_back("more than one SSND chunk");
        return;
    }
    if (size < 8) {
        file.errors.push_back("SSND chunk too short");
        return;
    }
    const uint32_t offset = be32(body);
    if (offset > size - 8) {
        file.errors.push_back("SSND data offset lies past the chunk");
        return;
    }
    file.hasSound = true;
    file.soundOffset = bodyOffset + 8 + offset;
    file.soundBytes = size - 8 - offset;
}

}  // namespace

double decodeExtended80(const uint8_t* p) {
    const bool negative = p[0] & 0x80;
    const int exponent = int(be16(p) & 0x7fff);
    uint64_t mantissa = 0;
    for (int i = 0; i < 8; ++i) mantissa = mantissa << 8 | p[2 + i];
    if (exponent == 0 && mantissa == 0) return 0.0;
    if (exponent == 0x7fff) return std::nan("");
    const double v = std::ldexp(double(mantissa), exponent - 16383 - 63);
    return negative ? -v : v;
}

double positionToFrame(int64_t position, double scaleFrames) {
    return std::round(double(position) * scaleFrames / 2147483646.0);
}

double KitFile::positionScaleFrames() const { return target == KitTarget::Op1Field ? 882000.0 : 529200.0; }

FieldPlayMode fieldPlayMode(int64_t value) {
    if (value < 0 || value > 32767) return FieldPlayMode::Outside;
    if (value < 8192) return FieldPlayMode::Gate;
    if (value < 16384) return FieldPlayMode::OneShot;
    if (value < 24576) return FieldPlayMode::Fourth;
    return FieldPlayMode::Loop;
}

namespace {

// What the audio and the description say together: the target, and whether
// they agree about channels, length and where the keys lie.
void checkAgainstAudio(KitFile& file) {
    const KitFileDescription& d = file.description;
    if (!d.parsed || !file.hasCommon) return;
    if (d.stereo || (file.channels == 2 && d.drumVersion == 2)) file.target = KitTarget::Op1Field;
    if (d.stereo && file.channels != 2) {
        file.errors.push_back(format("description says stereo, the audio has %llu channel(s)", file.channels));
        return;
    }
    const double scale = file.positionScaleFrames();
    if (double(file.frames) > scale) {
        file.errors.push_back(format("%llu frames of audio, more than a kit of this kind holds (%llu)", file.frames,
                                     static_cast<unsigned long long>(scale)));
        return;
    }
    if (!d.hasStart || !d.hasEnd) return;
    for (int k = 0; k < 24; ++k) {
        const double last = std::max(positionToFrame(d.start[k], scale), positionToFrame(d.end[k], scale));
        if (last >= double(file.frames)) {
            file.warnings.push_back(format("key %llu: its positions reach frame %llu, past the audio", k,
                                           static_cast<unsigned long long>(last)));
            break;
        }
    }
}

}  // namespace

KitFile parseKitFile(const uint8_t* data, std::size_t size) {
    KitFile file;
    try {
        if (!data || size < 12) {
            file.errors.push_back("too short for an AIFF file");
            return file;
        }
        if (std::memcmp(data, "FORM", 4) != 0) {
            file.errors.push_back("not an IFF file (no FORM)");
            return file;
        }
        if (std::memcmp(data + 8, "AIFC", 4) == 0) {
            file.aifc = true;
        } else if (std::memcmp(data + 8, "AIFF", 4) != 0) {
            file.errors.push_back("FORM is neither AIFF nor AIFC");
            return file;
        }
        const uint64_t formEnd = uint64_t(be32(data + 4)) + 8;
        uint64_t end = formEnd;
        if (formEnd > size) {
            file.errors.push_back(format("truncated: FORM announces %llu bytes, the file holds %llu", formEnd, size));
            end = size;
        } else if (formEnd < size) {
            file.warnings.push_back(format("%llu bytes after the end of the FORM chunk", size - formEnd));
        }

        uint64_t p = 12;
        while (p + 8 <= end) {
            const uint8_t* h = data + p;
            if (!printableId(h)) {
                file.errors.push_back(format("unreadable chunk header at offset %llu", p));
                break;
            }
            const uint64_t chunkSize = be32(h + 4);
            file.chunks.push_back({idText(h), p, chunkSize});
            if (p + 8 + chunkSize > end) {
                file.errors.push_back(idText(h) + format(" chunk at offset %llu runs past the end of the file", p));
                break;
            }
            const uint8_t* body = h + 8;
            if (std::memcmp(h, "COMM", 4) == 0) {
                parseCommon(body, chunkSize, file);
            } else if (std::memcmp(h, "SSND", 4) == 0) {
                parseSound(body, chunkSize, p + 8, file);
            } else if (std::memcmp(h, "APPL", 4) == 0 && chunkSize >= 4 && std::memcmp(body, "op-1", 4) == 0) {
                if (file.description.present)
                    file.errors.push_back("more than one op-1 description");
                else
                    parseDescription(body + 4, chunkSize - 4, file);
            }
            p += 8 + chunkSize + (chunkSize & 1);
        }
        if (p < end && p + 8 > end && file.errors.empty())
            file.warnings.push_back(format("%llu stray bytes at the end of the FORM chunk", end - p));

        if (!file.hasCommon) file.errors.push_back("no COMM chunk");
        if (!file.hasSound) file.errors.push_back("no SSND chunk");
        if (!file.description.present) file.errors.push_back("no op-1 description (APPL chunk)");
        if (file.hasCommon && file.hasSound && file.channels > 0 && file.bits > 0) {
            const uint64_t frameBytes = uint64_t(file.channels) * uint64_t((file.bits + 7) / 8);
            if (uint64_t(file.frames) * frameBytes > file.soundBytes)
                file.errors.push_back(format("SSND holds %llu frames, COMM announces %llu",
                                             file.soundBytes / frameBytes, file.frames));
        }
        checkAgainstAudio(file);
    } catch (...) {
        file.errors.push_back("out of memory while reading");
    }
    return file;
}

KitFile readKitFile(const std::string& path, std::vector<uint8_t>* bytes) {
    std::vector<uint8_t> local;
    std::vector<uint8_t>& buffer = bytes ? *bytes : local;
    buffer.clear();
    try {
        std::error_code ec;
        const std::filesystem::path filePath = platform::pathFromUtf8(path);
        if (!std::filesystem::is_regular_file(filePath, ec)) {
            KitFile file;
            file.errors.push_back((std::filesystem::exists(filePath, ec) ? "not a regular file: " : "cannot open ") + path);
            return file;
        }
        std::ifstream in(filePath, std::ios::binary);
        if (!in) {
            KitFile file;
            file.errors.push_back("cannot open " + path);
            return file;
        }
        in.seekg(0, std::ios::end);
        const std::streamoff length = in.tellg();
        if (length < 0 || uint64_t(length) > kMaxFileBytes) {
            KitFile file;
            file.errors.push_back("cannot read " + path + " (not a regular file, or larger than 256 MiB)");
            return file;
        }
        in.seekg(0, std::ios::beg);
        buffer.resize(std::size_t(length));
        if (length > 0 && !in.read(reinterpret_cast<char*>(buffer.data()), length)) {
            KitFile file;
            file.errors.push_back("cannot read " + path);
            return file;
        }
    } catch (...) {
        KitFile file;
        file.errors.push_back("cannot read " + path);
        return file;
    }
    return parseKitFile(buffer.data(), buffer.size());
}

bool decodeKitFileFrames(const KitFile& file, const uint8_t* data, std::size_t size, std::vector<float>& mono) {
    mono.clear();
    if (!file.hasCommon || !file.hasSound || file.bits != 16 || file.channels < 1) return false;
    const uint64_t frameBytes = uint64_t(file.channels) * 2;
    if (file.soundOffset > size || uint64_t(file.frames) * frameBytes > size - file.soundOffset) return false;
    try {
        mono.resize(file.frames);
    } catch (...) {
        return false;
    }
    const uint8_t* p = data + file.soundOffset;
    for (uint32_t i = 0; i < file.frames; ++i) {
        float sum = 0.0f;
        for (int c = 0; c < file.channels; ++c, p += 2) {
            const uint16_t u = file.littleEndian ? uint16_t(p[0] | p[1] << 8) : be16(p);
            sum += float(int16_t(u)) / 32768.0f;
        }
        mono[i] = sum / float(file.channels);
    }
    return true;
}

bool decodeKitFileKey(const KitFile& file, const uint8_t* data, std::size_t size, int k, std::vector<float>& left,
                      std::vector<float>& right) {
    left.clear();
    right.clear();
    const KitFileDescription& d = file.description;
    if (k < 0 || k >= 24 || !d.hasStart || !d.hasEnd || !file.hasCommon || !file.hasSound || file.bits != 16 ||
        file.channels < 1 || file.channels > 2)
        return false;
    // The frames must lie inside the SSND chunk, not merely inside the file.
    const uint64_t frameBytes = uint64_t(file.channels) * 2;
    if (file.soundOffset > size || file.soundBytes > size - file.soundOffset ||
        uint64_t(file.frames) * frameBytes > file.soundBytes)
        return false;
    const double scale = file.positionScaleFrames();
    const double first = positionToFrame(d.start[k], scale);
    const double last = positionToFrame(d.end[k], scale);
    if (!(first >= 0.0) || last < first || last >= double(file.frames)) return false;
    const std::size_t n = std::size_t(last - first) + 1;
    try {
        left.resize(n);
        if (file.channels == 2) right.resize(n);
    } catch (...) {
        left.clear();
        right.clear();
        return false;
    }
    const uint8_t* p = data + file.soundOffset + uint64_t(first) * frameBytes;
    for (std::size_t i = 0; i < n; ++i) {
        for (int c = 0; c < file.channels; ++c, p += 2) {
            const uint16_t u = file.littleEndian ? uint16_t(p[0] | p[1] << 8) : be16(p);
            (c == 0 ? left : right)[i] = float(int16_t(u)) / 32768.0f;
        }
    }
    return true;
}

}  // namespace rimbrel
