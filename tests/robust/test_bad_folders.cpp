// Folders and names a user could drop that are not what the drop intake
// usually meets: loops of links, pipes, a folder of ten thousand entries,
// names that are not UTF-8, a folder called like a sound file. Every drop
// runs under a watchdog.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "RobustSupport.h"
#include "kit/DropIntake.h"
#include "kit/FolderLister.h"
#include "tests/editor/EditorTestSupport.h"

namespace rimbrel::robust {
namespace {

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

constexpr auto kHangLimit = std::chrono::seconds(20);

Bytes wavOf(int frames) {
    WavSpec s;
    s.data = pcm16(frames, 1);
    return wavBytes(s);
}

class BadFolderTest : public test::EditorTest {
protected:
    // Drops `paths` on key k's name label under the watchdog; returns what
    // the drop wrote to stderr.
    std::string drop(const std::vector<std::string>& paths, int k, const char* what) {
        auto* drag = gui::CItemDragContainer::fromPaths(paths);
        CaptureStderr();
        {
            Watchdog watchdog(what, kHangLimit);
            ui->dragEnter(drag, labelX(0.5), labelY(k));
            ui->drop(drag, labelX(0.5), labelY(k));
        }
        drag->forget();
        return GetCapturedStderr();
    }

    int countLoadedLines(const std::string& err) {
        int n = 0;
        for (std::size_t at = err.find("All done here!"); at != std::string::npos;
             at = err.find("All done here!", at + 1))
            ++n;
        return n;
    }

    Scratch scratch{"bad-folders"};
};

TEST_F(BadFolderTest, FolderOfLinkLoopsPipesAndSocketsGivesOnlyItsSounds) {
    const fs::path folder = scratch.path() / "kit";
    fs::create_directory(folder);
    writeBytes(folder / "a.wav", wavOf(100));
    fs::create_symlink(folder / "b-loop.wav", folder / "b-loop.wav");  // a link to itself
    fs::create_symlink(folder / "c-ping.wav", folder / "c-pong.wav");  // two links to each other
    fs::create_symlink(folder / "c-pong.wav", folder / "c-ping.wav");
    fs::create_directory_symlink(folder, folder / "d-here");               // the folder inside itself
    fs::create_directory_symlink(folder / "d-here", folder / "e-deeper");  // and through another link
    ASSERT_EQ(::mkfifo((folder / "f-pipe.wav").c_str(), 0600), 0);         // nobody writes to it
    writeBytes(folder / "g.wav", wavOf(200));
    fs::create_symlink("/dev/zero", folder / "h-zero.wav");
    writeBytes(folder / "i.wav", wavOf(300));

    fillKey(3, 999, "/samples/keep.wav");
    const std::string err = drop({folder.string()}, 10, "a folder of link loops");
    EXPECT_EQ(kit().keyLength[0], 100);
    EXPECT_EQ(kit().keyLength[1], 200);
    EXPECT_EQ(kit().keyLength[2], 300);
    EXPECT_EQ(kit().keyLength[3], 999);
    EXPECT_EQ(std::string(editor->keyNames[2]), (folder / "i.wav").string());
    EXPECT_EQ(std::string(editor->keyNames[3]), "/samples/keep.wav");
    EXPECT_EQ(countLoadedLines(err), 3);
}

TEST_F(BadFolderTest, AFolderOfTenThousandEntriesIsExaminedOnlyAsFarAsTheLimit) {
    // 10 000 entries in name order: 500 text files, then sound files. Only
    // the first 512 entries are examined, so 12 sounds are taken, none past.
    const fs::path big = scratch.path() / "big";
    fs::create_directory(big);
    const Bytes sound = wavOf(50);
    char name[32];
    for (int i = 0; i < 10000; ++i) {
        std::snprintf(name, sizeof name, "%05d.%s", i, i < 500 ? "txt" : "wav");
        writeBytes(big / name, i < 500 ? Bytes("not a sound\n") : sound);
    }
    const auto start = std::chrono::steady_clock::now();
    const std::string err = drop({big.string()}, 0, "a folder of 10000 entries");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (int k = 0; k < 12; ++k) {
        std::snprintf(name, sizeof name, "%05d.wav", 500 + k);
        EXPECT_EQ(std::string(editor->keyNames[k]), (big / name).string()) << k;
        EXPECT_EQ(kit().keyLength[k], 50) << k;
    }
    for (int k = 12; k < kNumKeys; ++k) EXPECT_EQ(kit().keyLength[k], 0) << k;
    EXPECT_EQ(countLoadedLines(err), 12);
    RecordProperty("seconds", std::to_string(seconds));

    // With the sounds first, 24 are taken and the rest left alone.
    const fs::path many = scratch.path() / "many";
    fs::create_directory(many);
    for (int i = 0; i < 10000; ++i) {
        std::snprintf(name, sizeof name, "%05d.wav", i);
        fs::create_hard_link(big / "00600.wav", many / name);
    }
    const std::string err2 = drop({many.string()}, 0, "a folder of 10000 sounds");
    EXPECT_EQ(countLoadedLines(err2), kNumKeys);
    EXPECT_EQ(std::string(editor->keyNames[23]), (many / "00023.wav").string());
}

TEST_F(BadFolderTest, TenThousandItemsDroppedAtOnce) {
    // A selection of everything in a big folder, dragged as items: every
    // item is examined until the keys are full, none waits, none crashes.
    const fs::path big = scratch.path() / "big";
    fs::create_directory(big);
    std::vector<std::string> items;
    char name[32];
    for (int i = 0; i < 10000; ++i) {
        std::snprintf(name, sizeof name, "%05d.wav", i);
        if (i % 1000 == 999)
            writeBytes(big / name, wavOf(100 + i / 1000));
        else if (i % 3 == 0)
            ASSERT_EQ(::mkfifo((big / name).c_str(), 0600), 0);
        else
            writeBytes(big / name, "text, not sound");
        items.push_back((big / name).string());
    }
    items.push_back(big.string());         // a folder among them
    items.push_back("/dev/zero");          // a device
    items.push_back("");                   // nothing
    items.push_back("relative/none.wav");  // a path that leads nowhere
    const std::string err = drop(items, 20, "a drop of 10000 items");
    // The ten sounds fill keys 20..23 and stop there.
    EXPECT_EQ(countLoadedLines(err), 4);
    for (int k = 20; k < kNumKeys; ++k) EXPECT_EQ(kit().keyLength[k], 100 + (k - 20)) << k;
    for (int k = 0; k < 20; ++k) EXPECT_EQ(kit().keyLength[k], 0) << k;
}

TEST_F(BadFolderTest, SystemFoldersDroppedWholeAreNeverWaitedFor) {
    // Folders full of devices, pipes and files that never end or that block
    // a reader: none is taken, none is waited for.
    for (const char* folder : {"/dev", "/proc", "/proc/self", "/proc/self/fd", "/sys/kernel", "/"}) {
        if (!fs::is_directory(folder)) continue;
        const std::string err = drop({folder}, 0, folder);
        EXPECT_EQ(countLoadedLines(err), 0) << folder << ": " << err;
    }
    for (int k = 0; k < kNumKeys; ++k) EXPECT_EQ(kit().keyLength[k], 0) << k;
}

TEST_F(BadFolderTest, AFolderCalledLikeASoundFile) {
    const fs::path folder = scratch.path() / "x.wav";
    fs::create_directory(folder);
    writeBytes(folder / "inner.wav", wavOf(100));
    writeBytes(scratch.path() / "plain.wav", wavOf(200));
    // Alone it is a folder: its sounds fill the keys from key 0.
    drop({folder.string()}, 7, "a folder called x.wav");
    EXPECT_EQ(kit().keyLength[0], 100);
    EXPECT_EQ(kit().keyLength[7], 0);
    // With a file it is refused like anything that is not a file.
    const std::string err = drop({folder.string(), scratch / "plain.wav"}, 7, "a folder and a file");
    EXPECT_EQ(kit().keyLength[7], 200);
    EXPECT_EQ(kit().keyLength[8], 0);
    EXPECT_EQ(countLoadedLines(err), 1);
    // A folder path with a trailing separator is the same folder.
    clickLabel(0, gui::kLButton | gui::kControl | gui::kShift);  // erase every key
    ASSERT_EQ(kit().keyLength[0], 0);
    drop({folder.string() + "/"}, 7, "a folder with a trailing slash");
    EXPECT_EQ(kit().keyLength[0], 100);
    EXPECT_EQ(std::string(editor->keyNames[0]), folder.string() + "/inner.wav");
}

TEST_F(BadFolderTest, AFolderHoldingAPipeOnlyIsNeverWaitedFor) {
    const fs::path folder = scratch.path() / "pipes";
    fs::create_directory(folder);
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(::mkfifo((folder / ("p" + std::to_string(i) + ".wav")).c_str(), 0600), 0);
    const std::string err = drop({folder.string()}, 0, "a folder of pipes");
    EXPECT_EQ(err, "[Rimbrel-VST] \n HandleDragDrop begin !\n");
    for (int k = 0; k < kNumKeys; ++k) EXPECT_EQ(kit().keyLength[k], 0);
}

TEST_F(BadFolderTest, AFolderThatCannotBeReadIsTakenForAFileAndRefused) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the super-user";
    const fs::path folder = scratch.path() / "closed";
    fs::create_directory(folder);
    writeBytes(folder / "a.wav", wavOf(100));
    fs::permissions(folder, fs::perms::none);
    const std::string err = drop({folder.string()}, 4, "an unreadable folder");
    EXPECT_EQ(err, "[Rimbrel-VST] \n HandleDragDrop begin !\n");
    for (int k = 0; k < kNumKeys; ++k) EXPECT_EQ(kit().keyLength[k], 0);
}

TEST_F(BadFolderTest, NamesThatAreNotUtf8AreStoredAsTheyAre) {
    const fs::path folder = scratch.path() / "\xe9t\xe9";  // Latin-1, not UTF-8
    fs::create_directory(folder);
    writeBytes(folder / "\xff\xfe.wav", wavOf(100));
    writeBytes(folder / "caf\xe9.wav", wavOf(200));
    writeBytes(folder / "ok.wav", wavOf(300));
    drop({folder.string()}, 0, "a folder with names that are not UTF-8");
    // Sorted by bytes after folding ASCII letters: "caf\xe9", "ok", "\xff\xfe".
    EXPECT_EQ(std::string(editor->keyNames[0]), (folder / "caf\xe9.wav").string());
    EXPECT_EQ(std::string(editor->keyNames[1]), (folder / "ok.wav").string());
    EXPECT_EQ(std::string(editor->keyNames[2]), (folder / "\xff\xfe.wav").string());
    EXPECT_EQ(kit().keyLength[0], 200);
    EXPECT_EQ(kit().keyLength[2], 100);
}

// ---- how such names are drawn ----

class NameDrawingTest : public test::EditorTest {
protected:
    // Renders a fresh window with key 5 named `name` and key 6 "six".
    std::vector<uint32_t> renderWith(const std::string& name) {
        reopenWindow();
        fillKey(5, 44100, name);
        fillKey(6, 22050, "/samples/six.wav");
        ui->render();
        if (const char* dump = std::getenv("RIMBREL_DUMP_PNG")) ui->writePng(std::string(dump) + std::to_string(++dumps) + ".png");
        std::vector<uint32_t> pixels;
        for (int y = 0; y < 786; ++y)
            for (int x = 0; x < 540; ++x) {
                const gui::CColor c = ui->pixel(x, y);
                pixels.push_back(uint32_t(c.red) << 24 | uint32_t(c.green) << 16 | uint32_t(c.blue) << 8 | c.alpha);
            }
        return pixels;
    }

    int dumps = 0;
    // Pixels outside key 5's name label that differ between two renders.
    static int differencesOutsideKey5(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
        const gui::CRect label = nameLabelRect(5);
        int n = 0;
        for (int y = 0; y < 786; ++y)
            for (int x = 0; x < 540; ++x) {
                if (x >= label.left && x < label.right && y >= label.top && y < label.bottom) continue;
                if (a[std::size_t(y) * 540 + x] != b[std::size_t(y) * 540 + x]) ++n;
            }
        return n;
    }
};

TEST_F(NameDrawingTest, ANameThatIsNotUtf8SpoilsNothingElseInTheWindow) {
    const auto good = renderWith("/samples/five.wav");
    const auto bad = renderWith("/samples/\xff\xfe\xe9.wav");
    EXPECT_EQ(differencesOutsideKey5(good, bad), 0);
    EXPECT_EQ(nameText(5), " \xff\xfe\xe9");
}

TEST_F(NameDrawingTest, ALongNameCutInsideACharacterSpoilsNothingElse) {
    // Shown names are cut to 43 bytes; 43 falls inside a two-byte character.
    std::string name = "/samples/";
    for (int i = 0; i < 30; ++i) name += "\xc3\xa9";  // é
    name += ".wav";
    const auto good = renderWith("/samples/five.wav");
    const auto cutName = renderWith(name);
    EXPECT_EQ(differencesOutsideKey5(good, cutName), 0);
    // The cut drops the character it falls in: 21 whole characters remain,
    // then the ellipsis.
    std::string shown = " ";
    for (int i = 0; i < 21; ++i) shown += "\xc3\xa9";
    EXPECT_EQ(nameText(5), shown + "\xe2\x80\xa6");
    // Names in plain ASCII are cut at 43 bytes.
    EXPECT_EQ(ADEditor::displayName(("/x/" + std::string(50, 'a') + ".wav").c_str()),
              std::string(43, 'a') + "\xe2\x80\xa6");
}

}  // namespace
}  // namespace rimbrel::robust
