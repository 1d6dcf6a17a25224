#include "platform/x11/UriList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using rimbrel::makeUriList;
using rimbrel::parseUriList;
using Paths = std::vector<std::string>;

TEST(UriListParse, AcceptsTheThreeLocalFileForms) {
    EXPECT_EQ(parseUriList("file:///home/ann/kick.wav\r\n"), Paths{"/home/ann/kick.wav"});
    EXPECT_EQ(parseUriList("file://localhost/home/ann/kick.wav\r\n"), Paths{"/home/ann/kick.wav"});
    EXPECT_EQ(parseUriList("file:/home/ann/kick.wav\r\n"), Paths{"/home/ann/kick.wav"});
    EXPECT_EQ(parseUriList("FILE://LocalHost/a.wav"), Paths{"/a.wav"});
}

TEST(UriListParse, RefusesOtherHostsSchemesAndRelativeForms) {
    const std::string list =
        "http://example.org/a.wav\r\n"
        "https://example.org/b.wav\r\n"
        "smb://server/share/c.wav\r\n"
        "trash:///d.wav\r\n"
        "sftp://host/e.wav\r\n"
        "file://server/share/f.wav\r\n"
        "file://localhost.example/g.wav\r\n"
        "file://localhost\r\n"
        "file://\r\n"
        "file:relative.wav\r\n"
        "file:\r\n"
        "/plain/path.wav\r\n"
        "fil:///h.wav\r\n"
        "file:///kept.wav\r\n";
    EXPECT_EQ(parseUriList(list), Paths{"/kept.wav"});
}

TEST(UriListParse, ThisMachinesHostNameIsLocal) {
    // Some file managers name the machine instead of leaving the host empty.
    const std::string list =
        "file://studio-pc/a.wav\r\nfile://STUDIO-PC/b.wav\r\nfile://studio/c.wav\r\n"
        "file://studio-pc.lan/d.wav\r\nfile://localhost/e.wav\r\n";
    EXPECT_EQ(parseUriList(list, "studio-pc"), (Paths{"/a.wav", "/b.wav", "/e.wav"}));
    EXPECT_EQ(parseUriList(list, ""), Paths{"/e.wav"});
    // And the real one, as the window reads drops.
    const std::string self = rimbrel::localHostName();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(parseUriList("file://" + self + "/home/ann/kick.wav\r\n"), Paths{"/home/ann/kick.wav"});
}

TEST(UriListParse, LineEndingsCommentsAndBlankLines) {
    EXPECT_EQ(parseUriList("# from the file manager\r\nfile:///a\r\n\r\n  \r\nfile:///b\r\n#file:///c\r\n"),
              (Paths{"/a", "/b"}));
    EXPECT_EQ(parseUriList("file:///a\nfile:///b\n"), (Paths{"/a", "/b"}));
    EXPECT_EQ(parseUriList("file:///a\r\nfile:///b\nfile:///c"), (Paths{"/a", "/b", "/c"}));
    EXPECT_TRUE(parseUriList("").empty());
    EXPECT_TRUE(parseUriList("\r\n\n# only a comment").empty());
}

TEST(UriListParse, PercentDecodingInFull) {
    EXPECT_EQ(parseUriList("file:///My%20Samples/kick%20drum.wav"), Paths{"/My Samples/kick drum.wav"});
    EXPECT_EQ(parseUriList("file:///a%2b%2Bb"), Paths{"/a++b"});
    EXPECT_EQ(parseUriList("file:///%41%62%7e%25%23%3F"), Paths{"/Ab~%#?"});
    // '+' means a plus sign, not a space.
    EXPECT_EQ(parseUriList("file:///snare+clap.wav"), Paths{"/snare+clap.wav"});
    // Raw characters a careless source leaves unencoded are kept.
    EXPECT_EQ(parseUriList("file:///a b#c?d.wav"), Paths{"/a b#c?d.wav"});
}

TEST(UriListParse, InvalidEscapesAreKeptAsTheyStand) {
    EXPECT_EQ(parseUriList("file:///100%.wav"), Paths{"/100%.wav"});
    EXPECT_EQ(parseUriList("file:///a%zz"), Paths{"/a%zz"});
    EXPECT_EQ(parseUriList("file:///a%4"), Paths{"/a%4"});
    EXPECT_EQ(parseUriList("file:///a%"), Paths{"/a%"});
    EXPECT_EQ(parseUriList("file:///a%%41"), Paths{"/a%A"});
}

TEST(UriListParse, Utf8AndRawBytesArePreserved) {
    // "Grosse Trommel" with a sharp s and a u-umlaut, encoded and raw.
    EXPECT_EQ(parseUriList("file:///Gro%C3%9Fe%20Tr%C3%BCmmel.wav"), Paths{"/Gro\xC3\x9F"
                                                                           "e Tr\xC3\xBCmmel.wav"});
    EXPECT_EQ(parseUriList("file:///Gro\xC3\x9F"
                           "e.wav"),
              Paths{"/Gro\xC3\x9F"
                    "e.wav"});
    // Bytes that are not UTF-8 at all still name a file on Linux.
    EXPECT_EQ(parseUriList("file:///bad%FF%FE\x80.wav"), Paths{"/bad\xFF\xFE\x80.wav"});
}

TEST(UriListParse, NulBytesRefuseOnlyTheirItem) {
    const std::string raw = std::string("file:///a\0b.wav\r\n", 17) + "file:///ok1\r\n";
    EXPECT_EQ(parseUriList(raw), Paths{"/ok1"});
    EXPECT_EQ(parseUriList("file:///a%00b.wav\r\nfile:///ok2\r\n"), Paths{"/ok2"});
    // A terminating NUL after the list is not part of any item.
    EXPECT_EQ(parseUriList(std::string("file:///ok3\0", 12)), Paths{"/ok3"});
    EXPECT_EQ(parseUriList(std::string("file:///ok4\r\n\0\0", 15)), Paths{"/ok4"});
}

TEST(UriListParse, NoLimitOnLineLengthOrCount) {
    std::string longName(100 * 1024, 'x');
    for (std::size_t i = 0; i < longName.size(); i += 100) longName[i] = ' ';
    const Paths one = parseUriList(makeUriList({"/" + longName}));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], "/" + longName);

    std::string list;
    for (int i = 0; i < 500; ++i) list += "file:///samples/hit%20" + std::to_string(i) + ".wav\r\n";
    const Paths many = parseUriList(list);
    ASSERT_EQ(many.size(), 500u);
    EXPECT_EQ(many.front(), "/samples/hit 0.wav");
    EXPECT_EQ(many[250], "/samples/hit 250.wav");
    EXPECT_EQ(many.back(), "/samples/hit 499.wav");
}

TEST(UriListMake, EncodesAllButUnreservedAndSlash) {
    EXPECT_EQ(makeUriList({"/a b/c+d.wav"}), "file:///a%20b/c%2Bd.wav\r\n");
    EXPECT_EQ(makeUriList({"/AZaz09-._~/%#?"}), "file:///AZaz09-._~/%25%23%3F\r\n");
    EXPECT_EQ(makeUriList({"/\xC3\xBC"}), "file:///%C3%BC\r\n");
    EXPECT_EQ(makeUriList({"/a", "/b"}), "file:///a\r\nfile:///b\r\n");
    EXPECT_EQ(makeUriList({}), "");
}

TEST(UriListMake, LeavesOutWhatNoFileUriCanName) {
    EXPECT_EQ(makeUriList({"relative.wav", "", std::string("/a\0b", 4), "/ok"}), "file:///ok\r\n");
}

TEST(UriListRoundTrip, EveryByteSurvives) {
    std::string allBytes = "/";
    for (int c = 1; c < 256; ++c) allBytes.push_back(static_cast<char>(c));
    const Paths paths = {allBytes, "/home/ann/My Samples/kick drum (1).wav", "/tmp/100%+#?.aif",
                         "/\xE6\x97\xA5\xE6\x9C\xAC/\xF0\x9F\xA5\x81.wav", "//double/slash", "/"};
    const std::string list = makeUriList(paths);
    // Nothing in the list may break a line or leave the ASCII range.
    for (char c : list) EXPECT_TRUE((c > 0x20 && c < 0x7F) || c == '\r' || c == '\n');
    EXPECT_EQ(parseUriList(list), paths);
}
