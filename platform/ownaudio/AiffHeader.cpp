// AIFF and AIFC headers: the "COMM" and "SSND" chunks, found in any order
// among the others. Fields are big-endian; a chunk of odd size is followed by
// a pad byte. The sample rate is an 80-bit extended float.
#include "platform/ownaudio/FileBytes.h"
#include "platform/ownaudio/SoundLayout.h"

#include <cmath>
#include <cstring>

namespace rimbrel::platform::ownaudio {

namespace {

// The rate as a whole number of frames per second, fractions dropped. A
// negative rate is none (0, refused); a rate below one, zero included, is
// taken as 1, as libsndfile takes it; rates beyond any recording (infinity
// included) are held at the largest a signed 32-bit count takes.
int rateOf(const unsigned char* ext) {
    if ((ext[0] & 0x80) != 0) return 0;
    const int exponent = ((ext[0] & 0x7f) << 8) | ext[1];
    uint64_t mantissa = 0;
    for (int i = 2; i < 10; ++i) mantissa = (mantissa << 8) | ext[i];
    if (exponent == 0x7fff) return 2147483647;
    const double value = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
    if (value < 1.0) return 1;
    if (value >= 2147483647.0) return 2147483647;
    return static_cast<int>(value);
}

std::optional<SampleEncoding> encodingOf(bool aifc, const unsigned char* type, int bits) {
    SampleEncoding e;
    e.bigEndian = true;
    const auto is = [type](const char* id) { return std::memcmp(type, id, 4) == 0; };
    // Integers: big-endian, or little-endian ("sowt", and the names some
    // writers give 24 and 32 bits). Whatever the name, the COMM chunk's
    // sample size sets the width, as libsndfile reads it; below 8 bits is
    // no width AIFF has. "raw " is unsigned 8-bit for any size up to 8.
    if (aifc && is("raw ")) {
        if (bits < 1 || bits > 8) return std::nullopt;
        e.kind = SampleEncoding::Kind::Unsigned;
        e.bytes = 1;
        return e;
    }
    const bool little = aifc && (is("sowt") || is("42n1") || is("23ni"));
    if (!aifc || little || is("NONE") || is("twos") || is("in24") || is("in32")) {
        if (bits < 8 || bits > 32) return std::nullopt;
        e.bytes = (bits + 7) / 8;
        e.bigEndian = !little;
        return e;
    }
    e.kind = SampleEncoding::Kind::Float;
    if (is("fl32") || is("FL32")) {
        e.bytes = 4;
        return e;
    }
    if (is("fl64") || is("FL64")) {
        e.bytes = 8;
        return e;
    }
    return std::nullopt;
}

}  // namespace

std::optional<SoundLayout> readAiffHeader(const FileBytes& file) {
    unsigned char form[12];
    if (!file.read(0, form, sizeof form) || std::memcmp(form, "FORM", 4) != 0) return std::nullopt;
    const bool aifc = std::memcmp(form + 8, "AIFC", 4) == 0;
    if (!aifc && std::memcmp(form + 8, "AIFF", 4) != 0) return std::nullopt;

    // COMM: channels (2), frames (4), bits (2), rate (10), and in AIFC the
    // compression type (4) and its name.
    unsigned char comm[22];
    bool haveComm = false;
    bool haveSound = false;
    int64_t dataOffset = 0;
    int64_t dataBytes = 0;
    int64_t at = 12;
    unsigned char header[8];
    for (int chunks = 0; chunks < kMaxChunks && (!haveComm || !haveSound) && file.read(at, header, sizeof header);
         ++chunks) {
        const uint32_t size = be32(header + 4);
        const int64_t body = at + 8;
        const bool fits = static_cast<int64_t>(size) <= file.length() - body;
        if (std::memcmp(header, "SSND", 4) == 0) {
            if (!haveSound) {
                // The sound starts offset bytes after the chunk's 8-byte
                // head (offset, block size). A file that ends right before
                // that head has no sound chunk; one cut inside it holds a
                // sound of no frames (as libsndfile takes them, so that
                // Linux loads them alike).
                unsigned char head[8];
                const int64_t present = file.readSome(body, head, sizeof head);
                if (present <= 0) break;
                haveSound = true;
                const uint32_t offset = be32(head);
                dataOffset = body + 8 + offset;
                dataBytes = static_cast<int64_t>(size) - 8 - static_cast<int64_t>(offset);
            }
            if (!fits) break;
        } else {
            if (!fits) break;
            if (std::memcmp(header, "COMM", 4) == 0 && !haveComm) {
                const uint32_t need = aifc ? 22 : 18;
                if (size < need || !file.read(body, comm, need)) return std::nullopt;
                haveComm = true;
            }
        }
        at = body + size + (size & 1);
    }
    if (!haveComm || !haveSound) return std::nullopt;

    const int channels = be16(comm);
    const int bits = be16(comm + 6);
    const std::optional<SampleEncoding> encoding = encodingOf(aifc, comm + 18, bits);
    const int rate = rateOf(comm + 8);
    if (!encoding || channels < 1 || channels > kMaxChannels || rate < 1) return std::nullopt;

    SoundLayout layout;
    layout.channels = channels;
    layout.sampleRate = rate;
    layout.encoding = *encoding;
    layout.dataOffset = dataOffset;
    // The frames the sound chunk holds; the count in COMM is not trusted
    // (a writer that stops early leaves it wrong).
    layout.frames = framesHeld(dataOffset, dataBytes, file.length(), layout.frameBytes());
    return layout;
}

}  // namespace rimbrel::platform::ownaudio
