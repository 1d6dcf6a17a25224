#include "FormatsTestSupport.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

namespace rimbrel::test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    static std::atomic<int> counter{0};
    std::random_device rd;
    path_ = fs::temp_directory_path() /
            ("rimbrel-formats-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::vector<std::string> ScratchDir::entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

namespace {
void put(std::vector<uint8_t>& b, const char* four) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(four[i]));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
void put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
}  // namespace

std::vector<uint8_t> expectedAiff(const std::string& comment, const std::vector<int16_t>& samples) {
    const uint32_t L = uint32_t(comment.size());
    const uint32_t P = (4 - L % 4) % 4;
    const uint32_t N = uint32_t(samples.size());
    std::vector<uint8_t> b;
    put(b, "FORM");
    put32(b, 92 + L + P + 2 * N);
    put(b, "AIFF");
    put(b, "COMM");
    put32(b, 18);
    put16(b, 1);
    put32(b, N);
    put16(b, 16);
    for (uint8_t x : {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}) b.push_back(x);
    put(b, "APPL");
    put32(b, L + P);
    b.insert(b.end(), comment.begin(), comment.end());
    b.insert(b.end(), P, 0);
    put(b, "MARK");
    put32(b, 2);
    put16(b, 0);
    put(b, "INST");
    put32(b, 20);
    for (uint8_t x : {60, 0, 0, 127, 1, 127}) b.push_back(x);
    put16(b, 0);               // gain
    b.insert(b.end(), 12, 0);  // sustain and release loops
    put(b, "SSND");
    put32(b, 8 + 2 * N);
    put32(b, 0);
    put32(b, 0);
    for (int16_t s : samples) put16(b, uint16_t(s));
    return b;
}

float testSample(int k, int32_t i) {
    // Spread over most of the range, exact in 16 bits.
    const int32_t v = ((k + 1) * 1237 + i * 31) % 60000 - 30000;
    return float(v) / 32768.0f;
}

void TestKit::setKey(int k, int32_t n, const std::string& name) {
    std::vector<float> frames(std::size_t(std::max(n, 0)));
    for (int32_t i = 0; i < n; ++i) frames[std::size_t(i)] = testSample(k, i);
    setKey(k, std::move(frames), name);
}

void TestKit::setKey(int k, std::vector<float> frames, const std::string& name) {
    audio[k] = std::move(frames);
    names[k] = name;
}

const KitExportInput& TestKit::input() {
    for (int k = 0; k < kNumKeys; ++k) {
        in.frames[k] = audio[k].empty() ? nullptr : audio[k].data();
        in.length[k] = int32_t(audio[k].size());
        in.keyName[k] = names[k].c_str();
    }
    return in;
}

SoundFileFacts readWithSndfile(const std::string& path) {
    SoundFileFacts facts;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return facts;
    facts.opened = true;
    facts.frames = info.frames;
    facts.channels = info.channels;
    facts.sampleRate = info.samplerate;
    facts.format = info.format;
    facts.samples.resize(std::size_t(info.frames) * std::size_t(info.channels));
    sf_readf_short(f, facts.samples.data(), info.frames);
    sf_close(f);
    return facts;
}

bool haveSox() { return std::string(SOX_PROGRAM).size() > 0 && fs::exists(SOX_PROGRAM); }

std::string soxInfo(const std::string& path) {
    if (!haveSox()) return "";
    const std::string cmd = std::string(SOX_PROGRAM) + " --i '" + path + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return "";
    std::string out;
    std::array<char, 512> buf;
    while (std::fgets(buf.data(), int(buf.size()), p)) out += buf.data();
    pclose(p);
    return out;
}

uint32_t be32(const std::vector<uint8_t>& b, std::size_t at) {
    return uint32_t(b.at(at)) << 24 | uint32_t(b.at(at + 1)) << 16 | uint32_t(b.at(at + 2)) << 8 | b.at(at + 3);
}

uint16_t be16(const std::vector<uint8_t>& b, std::size_t at) { return uint16_t(b.at(at) << 8 | b.at(at + 1)); }

std::string applBody(const std::vector<uint8_t>& file) {
    const uint32_t size = be32(file, 42);
    return std::string(file.begin() + 46, file.begin() + 46 + size);
}

}  // namespace rimbrel::test
