#include "RobustSupport.h"

#include <sndfile.h>

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace rimbrel::robust {

namespace fs = std::filesystem;

void putLE16(Bytes& b, uint16_t v) {
    b += char(v & 0xff);
    b += char(v >> 8);
}
void putLE32(Bytes& b, uint32_t v) {
    putLE16(b, uint16_t(v & 0xffff));
    putLE16(b, uint16_t(v >> 16));
}
void putBE16(Bytes& b, uint16_t v) {
    b += char(v >> 8);
    b += char(v & 0xff);
}
void putBE32(Bytes& b, uint32_t v) {
    putBE16(b, uint16_t(v >> 16));
    putBE16(b, uint16_t(v & 0xffff));
}
void setLE32(Bytes& b, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = char((v >> (8 * i)) & 0xff);
}
void setBE32(Bytes& b, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = char((v >> (24 - 8 * i)) & 0xff);
}
void setBE16(Bytes& b, std::size_t at, uint16_t v) {
    b.at(at) = char(v >> 8);
    b.at(at + 1) = char(v & 0xff);
}
void setLE16(Bytes& b, std::size_t at, uint16_t v) {
    b.at(at) = char(v & 0xff);
    b.at(at + 1) = char(v >> 8);
}

Bytes wavBytes(const WavSpec& s) {
    Bytes fmt;
    fmt += "fmt ";
    putLE32(fmt, 16);
    putLE16(fmt, s.format);
    putLE16(fmt, s.channels);
    putLE32(fmt, s.rate);
    const uint32_t blockAlign = uint32_t(s.channels) * (s.bits / 8);
    putLE32(fmt, s.rate * blockAlign);
    putLE16(fmt, uint16_t(blockAlign));
    putLE16(fmt, s.bits);
    Bytes body = "WAVE" + fmt + s.extraChunks;
    body += "data";
    putLE32(body, uint32_t(s.data.size()));
    body += s.data;
    if (s.data.size() % 2) body += '\0';
    Bytes file = "RIFF";
    putLE32(file, uint32_t(body.size()));
    return file + body;
}

std::size_t chunkSizeOffset(const Bytes& file, const char* id) {
    const std::size_t at = file.find(id, 12);
    if (at == Bytes::npos) throw std::runtime_error(std::string("no chunk ") + id);
    return at + 4;
}

Bytes pcm16(int frames, int channels, bool bigEndian) {
    Bytes b;
    for (int i = 0; i < frames * channels; ++i) {
        const auto v = uint16_t(int16_t((i * 97) % 20000 - 10000));
        if (bigEndian)
            putBE16(b, v);
        else
            putLE16(b, v);
    }
    return b;
}

Bytes float32(const std::vector<float>& samples) {
    Bytes b;
    for (float f : samples) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        putLE32(b, u);
    }
    return b;
}

namespace {
// An 80-bit IEEE 754 extended number, as AIFF stores its sample rate.
Bytes extended80(double value) {
    Bytes b(10, '\0');
    if (value <= 0 || !std::isfinite(value)) return b;
    int exponent = 0;
    const double mantissa = std::frexp(value, &exponent);  // value = m * 2^e, 0.5 <= m < 1
    const uint16_t biased = uint16_t(exponent - 1 + 16383);
    const auto bits = uint64_t(std::ldexp(mantissa, 64));
    b[0] = char(biased >> 8);
    b[1] = char(biased & 0xff);
    for (int i = 0; i < 8; ++i) b[2 + i] = char((bits >> (56 - 8 * i)) & 0xff);
    return b;
}
}  // namespace

Bytes aiffBytes(const AiffSpec& s) {
    Bytes comm = "COMM";
    putBE32(comm, 18);
    putBE16(comm, s.channels);
    putBE32(comm, s.frames);
    putBE16(comm, s.bits);
    comm += extended80(s.rate);
    Bytes ssnd = "SSND";
    putBE32(ssnd, uint32_t(8 + s.data.size()));
    putBE32(ssnd, 0);
    putBE32(ssnd, 0);
    ssnd += s.data;
    if (s.data.size() % 2) ssnd += '\0';
    Bytes body = "AIFF" + comm + s.extraChunks + ssnd;
    Bytes file = "FORM";
    putBE32(file, uint32_t(body.size()));
    return file + body;
}

Bytes soundBytes(const fs::path& scratch, int format, int channels, int frames, int rate) {
    const fs::path path = scratch / ".made-by-libsndfile";
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    SNDFILE* sf = sf_open(path.string().c_str(), SFM_WRITE, &info);
    if (!sf) throw std::runtime_error(std::string("libsndfile cannot write: ") + sf_strerror(nullptr));
    std::vector<float> samples(std::size_t(frames) * channels);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = float(std::sin(double(i) * 0.05) * 0.5);
    sf_writef_float(sf, samples.data(), frames);
    sf_close(sf);
    Bytes bytes = readBytes(path);
    fs::remove(path);
    return bytes;
}

Bytes pngBytes() {
    static const unsigned char png[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,
        0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4,
        0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0,
        0x1F, 0x00, 0x05, 0x00, 0x01, 0xFF, 0x89, 0x99, 0x3D, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45,
        0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    return Bytes(reinterpret_cast<const char*>(png), sizeof png);
}

void writeBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path.string());
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Scratch::Scratch(const std::string& tag) {
    std::string tmpl = (fs::temp_directory_path() / ("rimbrel-robust-" + tag + "-XXXXXX")).string();
    if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

Scratch::~Scratch() {
    std::error_code ec;
    // Folders made unreadable or read-only by a test must be opened again
    // before they can be emptied.
    for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
    if (ec) {
        // A second pass once the first has opened what it could.
        fs::remove_all(path_, ec);
    }
}

std::vector<std::string> listTree(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        names.push_back(fs::relative(it->path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

Watchdog::Watchdog(std::string what, std::chrono::seconds limit) {
    thread_ = std::thread([this, what = std::move(what), limit] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!wake_.wait_for(lock, limit, [this] { return done_; })) {
            // stderr may be captured by the test: say it on stdout as well.
            std::printf("\nHANG: %s did not return within %lld s\n", what.c_str(),
                        static_cast<long long>(limit.count()));
            std::fflush(stdout);
            std::fprintf(stderr, "\nHANG: %s\n", what.c_str());
            std::_Exit(99);
        }
    });
}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

long residentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

std::size_t heapInUse() {
    const struct mallinfo2 m = ::mallinfo2();
    return m.uordblks + m.hblkhd;
}

int openDescriptors() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
    }
    return n - 1;  // the listing's own descriptor
}

int nextDescriptor() {
    const int fd = ::open("/dev/null", O_RDONLY);
    ::close(fd);
    return fd;
}

bool slowRuntime() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#else
    // valgrind puts its preload library into the environment.
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "valgrind") != nullptr;
#endif
}

int loopCount(const char* name, int full, int divisor) {
    if (const char* v = std::getenv(name)) {
        const int n = std::atoi(v);
        if (n > 0) return n;
    }
    if (!slowRuntime()) return full;
    const int n = full / divisor;
    return n > 0 ? n : 1;
}

}  // namespace rimbrel::robust
