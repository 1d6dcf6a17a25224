// Writes the seed corpus of one fuzz target: fuzz_seeds TARGET FOLDER.
#include "tests/fuzz/SeedCorpus.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds loader|urilist|kitreader|midi|ownaudio|ownflac|kitstate FOLDER\n");
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(argv[2], ec);
    const int n = rimbrel::fuzz::writeSeeds(argv[1], argv[2]);
    std::printf("%d seeds for %s in %s\n", n, argv[1], argv[2]);
    return n > 0 ? 0 : 1;
}
