// The acceptance test for dropped files and the folder lister.
#include "kit/FolderLister.h"
#include "kit/SoundFileProbe.h"

#include "SoundFiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace rimbrel {
namespace {

using namespace rimbrel::test;

TEST(IsLoadableFile, AcceptsWhatLibsndfileRecognisesWhateverTheName) {
    TempDir dir;
    const struct {
        const char* name;
        int format;
    } sounds[] = {
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"b.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
        {"c.aifc", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"d.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"e.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"f.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16},
        {"g.txt", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"no_extension", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
    };
    for (const auto& s : sounds) {
        writeSound(dir.file(s.name), s.format, 2, 44100, ramp(500, 2));
        EXPECT_TRUE(isLoadableFile(dir.file(s.name).c_str())) << s.name;
    }
    // More channels than a key takes is still a recognised header: the load
    // refuses it later.
    writeSound(dir.file("quad.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4, 44100, ramp(50, 4));
    EXPECT_TRUE(isLoadableFile(dir.file("quad.wav").c_str()));
    // An empty (0-frame) file with a valid header.
    writeSound(dir.file("empty.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, {});
    EXPECT_TRUE(isLoadableFile(dir.file("empty.wav").c_str()));
    // Through a symbolic link.
    std::filesystem::create_symlink(dir.file("a.wav"), dir.file("link.wav"));
    EXPECT_TRUE(isLoadableFile(dir.file("link.wav").c_str()));
}

TEST(IsLoadableFile, RefusesEverythingElseWithoutBlocking) {
    TempDir dir;
    writeText(dir.file("notes.wav"), "RIFF? no, just text that happens to be longer than fifty bytes.\n");
    writeText(dir.file("tiny.wav"), "RIFF");
    writeText(dir.file("zero.wav"), "");
    {
        std::ofstream raw(dir.file("raw.pcm"), std::ios::binary);
        for (int i = 0; i < 10000; ++i) raw.put(static_cast<char>((i * 13) & 0xff));
    }
    std::filesystem::create_directory(dir.file("folder.wav"));
    ASSERT_EQ(::mkfifo(dir.file("fifo.wav").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir.file("absent.wav"), dir.file("broken.wav"));
    for (const char* name : {"notes.wav", "tiny.wav", "zero.wav", "raw.pcm", "folder.wav", "fifo.wav", "broken.wav",
                             "absent.wav"}) {
        EXPECT_FALSE(isLoadableFile(dir.file(name).c_str())) << name;
    }
    EXPECT_FALSE(isLoadableFile(""));
    EXPECT_FALSE(isLoadableFile(nullptr));
    EXPECT_FALSE(isLoadableFile("/dev/zero"));
}

TEST(IsLoadableFile, RefusesAFileItCannotRead) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the super-user";
    TempDir dir;
    writeWav(dir.file("locked.wav"), 100);
    ::chmod(dir.file("locked.wav").c_str(), 0);
    EXPECT_FALSE(isLoadableFile(dir.file("locked.wav").c_str()));
}

TEST(IsLoadableFile, KitSignatureAtByte46IsAcceptedWithoutAskingTheLibrary) {
    TempDir dir;
    std::string bytes(46, 'x');
    bytes += "op-1 and then anything at all";
    writeText(dir.file("kit.bin"), bytes);
    EXPECT_TRUE(isLoadableFile(dir.file("kit.bin").c_str()));
    // The same four bytes elsewhere mean nothing.
    writeText(dir.file("other.bin"), std::string(45, 'x') + "op-1 and then anything at all");
    EXPECT_FALSE(isLoadableFile(dir.file("other.bin").c_str()));
}

// ---- folder lister ----

std::vector<std::string> names(const std::vector<FolderEntry>& entries) {
    std::vector<std::string> out;
    for (const FolderEntry& e : entries) out.push_back(e.name + (e.isDirectory ? "/" : ""));
    return out;
}

TEST(FolderLister, OwnEntriesFirstThenNamesWithoutRegardToCase) {
    TempDir dir;
    for (const char* n : {"b.wav", "A.wav", "c.WAV", "a.wav", "B10.wav", "b2.wav", "_x", "Zed"}) writeText(dir.file(n), "");
    std::filesystem::create_directory(dir.file("Drums"));
    std::filesystem::create_directory(dir.file("real"));
    std::filesystem::create_directory_symlink(dir.file("real"), dir.file("linked"));
    std::filesystem::create_symlink(dir.file("b.wav"), dir.file("alias.wav"));
    std::filesystem::create_symlink(dir.file("nothing"), dir.file("dangling"));

    std::vector<FolderEntry> entries;
    ASSERT_TRUE(listFolder(dir.path().c_str(), entries));
    EXPECT_EQ(names(entries), (std::vector<std::string>{"./", "../", "_x", "A.wav", "a.wav", "alias.wav", "b.wav",
                                                        "b2.wav", "B10.wav", "c.WAV", "dangling", "Drums/",
                                                        "linked/", "real/", "Zed"}));
}

TEST(FolderLister, RefusesWhatIsNotAFolderAndStaysBounded) {
    TempDir dir;
    writeText(dir.file("file"), "x");
    std::vector<FolderEntry> entries{{"stale", false}};
    EXPECT_FALSE(listFolder(dir.file("file").c_str(), entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(listFolder(dir.file("missing").c_str(), entries));
    EXPECT_FALSE(listFolder("", entries));

    ASSERT_TRUE(listFolder(dir.file("").c_str(), entries));  // trailing separator
    EXPECT_EQ(names(entries), (std::vector<std::string>{"./", "../", "file"}));

    for (int i = 0; i < 20; ++i) writeText(dir.file("f" + std::to_string(i)), "");
    ASSERT_TRUE(listFolder(dir.path().c_str(), entries, 5));
    EXPECT_EQ(entries.size(), 7u);
    for (std::size_t i = 3; i < entries.size(); ++i) EXPECT_TRUE(folderNameLess(entries[i - 1].name, entries[i].name));
}

TEST(FolderLister, OrderIsTotal) {
    EXPECT_TRUE(folderNameLess("a", "B"));
    EXPECT_TRUE(folderNameLess("B", "b"));
    EXPECT_FALSE(folderNameLess("b", "B"));
    EXPECT_FALSE(folderNameLess("a", "a"));
    EXPECT_TRUE(folderNameLess("ab", "ABC"));
    EXPECT_TRUE(folderNameLess("Z", "\xc3\xa9"));  // bytes above ASCII come last
}

TEST(FolderLister, NumbersInNamesCountByValue) {
    EXPECT_TRUE(folderNameLess("2 snare.wav", "10 hat.wav"));
    EXPECT_TRUE(folderNameLess("kick 9.wav", "Kick 10.wav"));
    EXPECT_TRUE(folderNameLess("Kick 9.wav", "kick 10.wav"));
    EXPECT_TRUE(folderNameLess("hat", "hat2"));
    EXPECT_TRUE(folderNameLess("tom2b", "tom10a"));
    EXPECT_TRUE(folderNameLess("x99999999999999999999999", "x100000000000000000000000"));  // beyond 64 bits
    // Leading zeros: the same number, so the names stay apart only by the tie-break.
    EXPECT_TRUE(folderNameLess("01-kick", "2-snare"));
    EXPECT_TRUE(folderNameLess("a01", "a1"));
    EXPECT_FALSE(folderNameLess("a1", "a01"));
    EXPECT_FALSE(folderNameLess("10", "10"));

    TempDir dir;
    for (const char* n : {"10 hat.wav", "2 snare.wav", "1 Kick.wav", "100 ride.wav", "20 Clap.wav"})
        writeText(dir.file(n), "");
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(listFolder(dir.path().c_str(), entries));
    EXPECT_EQ(names(entries), (std::vector<std::string>{"./", "../", "1 Kick.wav", "2 snare.wav", "10 hat.wav",
                                                        "20 Clap.wav", "100 ride.wav"}));
}

}  // namespace
}  // namespace rimbrel
