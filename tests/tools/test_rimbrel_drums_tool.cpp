// rimbrel-drums as a user runs it: where it writes, and what it says when it
// cannot.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out, err;
};

class DrumsTool : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("rimbrel-drums-test-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    ToolRun run(const std::string& arguments) const {
        const std::string errFile = (dir_ / ".stderr").string();
        const std::string cmd =
            "cd '" + dir_.string() + "' && '" RIMBREL_DRUMS_PROGRAM "' " + arguments + " 2>'" + errFile + "'";
        ToolRun r;
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return r;
        std::array<char, 4096> buf;
        std::size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
        const int status = pclose(p);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream e(errFile);
        r.err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
        return r;
    }

    fs::path dir_;
};

TEST_F(DrumsTool, CreatesOnlyTheLastFolderAndSaysSo) {
    ToolRun r = run("a/b/sounds");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no such folder: a/b"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "a"));

    r = run("sounds/");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("created folder sounds/\n"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(dir_ / "sounds" / "01-kick.wav"));

    r = run("sounds");  // already there: nothing to create
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("created folder"), std::string::npos);

    std::ofstream(dir_ / "plain") << "x";
    r = run("plain");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("plain is not a folder"), std::string::npos) << r.err;
}

TEST_F(DrumsTool, ExplainsABadTempoOrStart) {
    for (const char* bad : {"--bpm 10", "--bpm 401", "--bpm fast", "--bpm nan", "--bpm"}) {
        const ToolRun r = run(std::string("sounds ") + bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("--bpm"), std::string::npos) << bad << r.err;
        EXPECT_NE(r.err.find("Usage:"), std::string::npos) << bad;
        EXPECT_FALSE(fs::exists(dir_ / "sounds")) << bad;
    }
    EXPECT_NE(run("sounds --bpm 10").err.find("20 to 400 beats per minute, not '10'"), std::string::npos);
    EXPECT_NE(run("sounds --start -1").err.find("--start takes a frame number"), std::string::npos);
    EXPECT_EQ(run("sounds --groove g.txt --bpm 90.5").status, 0);
    EXPECT_TRUE(fs::exists(dir_ / "g.txt"));
}

}  // namespace
