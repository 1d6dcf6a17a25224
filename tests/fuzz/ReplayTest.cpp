// Replays every kept fuzz input (the crashes once found, the committed corpus)
// and the generated seeds through the fuzz targets' checks, without the
// fuzzer: the ordinary and the sanitizer test runs keep them fixed.
#include "tests/fuzz/FuzzChecks.h"
#include "tests/fuzz/SeedCorpus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace rimbrel::fuzz {
namespace {

namespace fs = std::filesystem;
using Check = std::string (*)(const uint8_t*, std::size_t);

std::vector<fs::path> filesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file() && it->path().filename().string()[0] != '.') files.push_back(it->path());
    std::sort(files.begin(), files.end());
    return files;
}

// Runs every file of the kept folders and the generated seeds of target.
void replay(const std::string& target, Check check) {
    const fs::path source = fs::path(RIMBREL_FUZZ_SOURCE_DIR);
    const fs::path seeds = fs::path(scratchFolder()) / ("seeds-" + target);
    fs::create_directories(seeds);
    ASSERT_GT(writeSeeds(target, seeds.string()), 0);

    int replayed = 0;
    for (const fs::path& dir : {source / "regressions" / target, source / "corpus" / target, seeds}) {
        for (const fs::path& file : filesIn(dir)) {
            std::ifstream in(file, std::ios::binary);
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            EXPECT_EQ(check(bytes.data(), bytes.size()), "") << file;
            ++replayed;
        }
    }
    // The empty input too.
    EXPECT_EQ(check(nullptr, 0), "");
    EXPECT_GT(replayed, 0);
}

TEST(FuzzReplay, Loader) { replay("loader", checkLoaderInput); }
TEST(FuzzReplay, UriList) { replay("urilist", checkUriListInput); }
TEST(FuzzReplay, KitReader) { replay("kitreader", checkKitReaderInput); }
TEST(FuzzReplay, Midi) { replay("midi", checkMidiInput); }
TEST(FuzzReplay, OwnAudio) { replay("ownaudio", checkOwnAudioInput); }
TEST(FuzzReplay, OwnFlac) { replay("ownflac", checkOwnFlacInput); }
TEST(FuzzReplay, KitState) { replay("kitstate", checkKitStateInput); }

}  // namespace
}  // namespace rimbrel::fuzz
