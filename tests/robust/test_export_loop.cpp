// Exports in a row through the window's export button: the kit file and the
// per-key files, into a good folder, a full one and a read-only one. A failed
// export leaves the files that were there untouched and no temporary file
// behind; a hundred exports leave no memory or descriptors behind.
//
// A full folder is a 64 KiB tmpfs when the tests run as root (CI), else a
// file size limit (RLIMIT_FSIZE, SIGXFSZ ignored) that makes writes fail the
// same way. A read-only folder is a read-only tmpfs as root, else a folder
// without write permission.
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "RobustSupport.h"
#include "formats/AiffWriter.h"
#include "formats/KitExport.h"
#include "tests/editor/EditorTestSupport.h"

namespace rimbrel::robust {
namespace {

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

const std::string kWriterFailure = "error: 11 can't write %s: %s\n";

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A folder that refuses what is written into it, made the strongest way
// the process is allowed to.
class TroubleFolder {
public:
    enum Kind { Full,
                ReadOnly };

    TroubleFolder(const fs::path& at, Kind kind, const std::vector<std::pair<std::string, Bytes>>& existing)
        : path_(at), kind_(kind) {
        fs::create_directory(at);
        if (::geteuid() == 0 && ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=64k") == 0) {
            mounted_ = true;
            how_ = kind == Full ? "a 64 KiB tmpfs" : "a read-only tmpfs";
        }
        for (const auto& [name, bytes] : existing) writeBytes(at / name, bytes);
        if (kind == ReadOnly) {
            if (mounted_) {
                if (::mount("tmpfs", at.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k") != 0) how_.clear();
            } else if (::geteuid() != 0) {
                fs::permissions(at, fs::perms::owner_read | fs::perms::owner_exec);
                how_ = "a folder without write permission";
            }
        } else if (!mounted_) {
            how_ = "a file size limit of 64 KiB";
            limited_ = true;
        }
    }
    ~TroubleFolder() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    }

    // How the trouble is made; empty when it cannot be made here.
    const std::string& how() const { return how_; }
    // Runs f with the file size limit in force when that is how the folder
    // is full.
    template <class F>
    void write(F f) {
        if (!limited_) {
            f();
            return;
        }
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 64 * 1024;
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &small);
        f();
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
    }

private:
    fs::path path_;
    Kind kind_;
    bool mounted_ = false;
    bool limited_ = false;
    std::string how_;
};

class ExportLoop : public test::EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        // Three keys, each too big for 64 KiB on its own (2 bytes a frame).
        fillKey(0, 40000, "/s/kick.wav", 0.5f);
        fillKey(3, 35000, "/s/snare.wav", -0.25f);
        fillKey(7, 33000, "/s/hat.wav", 0.125f);
    }

    // Clicks the export button (with Shift for the per-key files) and
    // answers the save dialog with path; returns what was written to stderr.
    std::string exportTo(const std::string& path, bool perKey) {
        CaptureStderr();
        {
            Watchdog watchdog("an export", std::chrono::seconds(60));
            clickExport(perKey ? gui::kLButton | gui::kShift : gui::kLButton);
            env.scriptFileSelectorAnswer({path});
            // Per-key files that exist are replaced only after a yes.
            if (perKey) env.scriptQuestionAnswer(true);
            env.pump();  // the dialog's answer (and the question, if asked)
            env.pump();  // the question's answer
        }
        return GetCapturedStderr();
    }

    static constexpr uint32_t kKitFrames = 39999 + 34999 + 32999;  // each key less its last frame

    Scratch scratch{"exports"};
};

TEST_F(ExportLoop, AHundredExportsIntoGoodFullAndReadOnlyFolders) {
    const Bytes oldKit(3000, '\x5a');
    const Bytes oldTake(2000, '\x33');
    const std::vector<std::pair<std::string, Bytes>> existing = {{"kit.aif", oldKit}, {"take_01.aif", oldTake}};
    const fs::path good = scratch.path() / "good";
    fs::create_directory(good);
    TroubleFolder full(scratch.path() / "full", TroubleFolder::Full, existing);
    TroubleFolder readOnly(scratch.path() / "read-only", TroubleFolder::ReadOnly, existing);
    const std::vector<std::string> troubleFiles = {"kit.aif", "take_01.aif"};
    std::printf("full folder: %s; read-only folder: %s\n", full.how().c_str(),
                readOnly.how().empty() ? "cannot be made here (super-user without mounts)" : readOnly.how().c_str());

    int written = 0, refusedFull = 0, refusedReadOnly = 0;
    std::size_t heapBefore = 0;
    int fdsBefore = 0;
    for (int i = 0; i < 100; ++i) {
        const bool perKey = i % 2 == 1;
        const int place = i % 5;  // 0..2 good, 3 full, 4 read-only
        if (i == 10) {
            heapBefore = heapInUse();
            fdsBefore = openDescriptors();
        }
        if (place == 3) {
            std::string err;
            full.write([&] { err = exportTo((scratch.path() / "full" / (perKey ? "take.aif" : "kit.wav")).string(), perKey); });
            EXPECT_EQ(count(err, kWriterFailure), perKey ? 3 : 1) << "export " << i;
            ++refusedFull;
        } else if (place == 4) {
            if (readOnly.how().empty()) continue;
            const std::string err =
                exportTo((scratch.path() / "read-only" / (perKey ? "take.aif" : "kit.aif")).string(), perKey);
            EXPECT_EQ(count(err, kWriterFailure), perKey ? 3 : 1) << "export " << i;
            ++refusedReadOnly;
        } else {
            const std::string name = perKey ? "take" + std::to_string(place) + ".aif" : "kit" + std::to_string(place) + ".aif";
            const std::string err = exportTo((good / name).string(), perKey);
            EXPECT_EQ(count(err, "error:"), 0) << err;
            ++written;
        }
        // What was in the troubled folders is still there, whole, alone.
        for (const char* folder : {"full", "read-only"}) {
            EXPECT_EQ(listTree(scratch.path() / folder), troubleFiles) << folder << " after export " << i;
            EXPECT_EQ(readBytes(scratch.path() / folder / "kit.aif"), oldKit) << folder << " after export " << i;
            EXPECT_EQ(readBytes(scratch.path() / folder / "take_01.aif"), oldTake) << folder << " after export " << i;
        }
        EXPECT_EQ(editor->getPendingSelector(), 0);
    }
    const std::size_t heapAfter = heapInUse();
    std::printf(
        "exports: %d written, %d into the full folder and %d into the read-only one refused\n"
        "  heap %zu -> %zu bytes, descriptors %d -> %d\n",
        written, refusedFull, refusedReadOnly, heapBefore, heapAfter, fdsBefore, openDescriptors());
    RecordProperty("written", written);
    RecordProperty("refused", refusedFull + refusedReadOnly);

    // The good folder holds the files of the last exports, whole, and
    // nothing else.
    std::vector<std::string> expected;
    for (int place = 0; place < 3; ++place) {
        expected.push_back("kit" + std::to_string(place) + ".aif");
        for (const char* key : {"_01", "_04", "_08"}) expected.push_back("take" + std::to_string(place) + key + ".aif");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listTree(good), expected);
    const Bytes kit = readBytes(good / "kit0.aif");
    ASSERT_GT(kit.size(), 100u);
    auto be32 = [&kit](std::size_t at) {
        return uint32_t(uint8_t(kit[at])) << 24 | uint32_t(uint8_t(kit[at + 1])) << 16 |
               uint32_t(uint8_t(kit[at + 2])) << 8 | uint32_t(uint8_t(kit[at + 3]));
    };
    EXPECT_EQ(be32(4), kit.size() - 8);
    EXPECT_EQ(be32(22), kKitFrames);
    EXPECT_EQ(kit.substr(46, 4), "op-1");
    EXPECT_EQ(fs::file_size(good / "take2_04.aif"),
              aiffHeaderSize(std::strlen(kIndividualFileComment)) + 2u * 35000u);
    EXPECT_EQ(openDescriptors(), fdsBefore);
    EXPECT_LT(static_cast<long long>(heapAfter) - static_cast<long long>(heapBefore), 64 * 1024);
}

}  // namespace
}  // namespace rimbrel::robust
