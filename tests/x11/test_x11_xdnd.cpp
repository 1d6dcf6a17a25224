// Files dragged onto a frame through XDND, from the project's own drag
// source, the way a file manager sends them: the views get enter, move,
// leave and drop with the decoded paths, and the source gets its answers.
#include "tests/x11/X11TestSupport.h"
#include "tools/rimbrel-host/DragSource.h"

namespace rimbrel::test {
namespace {

using rimbrel::host::DragSource;

const CColor kRed(200, 30, 40);
const CColor kBlue(20, 40, 220);

class XdndTest : public X11Test {
protected:
    void SetUp() override {
        X11Test::SetUp();
        if (IsSkipped())
            return;
        XRaiseWindow(hostDisplay, host);
        XSync(hostDisplay, False);
        openFrame();
        taker = new RecordingView(CRect(34, 160, 206, 178), kRed, true);
        refuser = new RecordingView(CRect(277, 151, 357, 192), kBlue, false);
        other = new RecordingView(CRect(34, 180, 206, 198), kRed, true);
        frame->addView(taker);
        frame->addView(refuser);
        frame->addView(other);
        ASSERT_TRUE(waitForPixel(100, 170, kRed));
        source = std::make_unique<DragSource>();
        ASSERT_TRUE(source->ok());
        source->options().timeoutMs = kPatienceMs;
        source->setIdle([] { gui::x11::pump(); });
    }

    int rootX(int x) const { return hostX + x; }
    int rootY(int y) const { return hostY + y; }

    RecordingView* taker = nullptr;
    RecordingView* refuser = nullptr;
    RecordingView* other = nullptr;
    std::unique_ptr<DragSource> source;
};

TEST_F(XdndTest, AFileManagerDropArrivesWithDecodedPaths) {
    const std::vector<std::string> paths = {
        "/tmp/my samples/kick drum.wav",
        "/tmp/Ünïcødé/snäre €.aiff",
        "/tmp/a+b/c%20d#1?.wav",
    };
    ASSERT_TRUE(source->enter(paths, rootX(100), rootY(170)));
    // Through the top-level's proxy, as a file manager finds the window.
    EXPECT_EQ(source->targetWindow(), host);
    EXPECT_EQ(source->proxyWindow(), frameWindow());
    const auto status = source->lastStatus();
    EXPECT_TRUE(status.answered);
    EXPECT_TRUE(status.accepted);
    EXPECT_EQ(status.action, "XdndActionCopy");
    // The view knew the files while they were only hovering.
    const auto* enter = taker->last("enter");
    ASSERT_NE(enter, nullptr);
    EXPECT_EQ(enter->paths, paths);
    EXPECT_EQ(enter->where, CPoint(100, 170));

    const auto result = source->drop();
    EXPECT_TRUE(result.finished);
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(result.error, "");
    const auto* drop = taker->last("drop");
    ASSERT_NE(drop, nullptr);
    EXPECT_EQ(drop->paths, paths);
    // Every drop is followed by a leave.
    EXPECT_EQ(taker->kinds(), (std::vector<std::string>{"enter", "drop", "leave"}));
}

TEST_F(XdndTest, TheFrameWindowItselfTakesDropsFromSourcesThatSearchDeeper) {
    source->options().lookup = DragSource::Lookup::Deepest;
    const auto result = source->dragAndDrop({"/tmp/one.wav"}, rootX(100), rootY(170));
    EXPECT_EQ(source->targetWindow(), frameWindow());
    EXPECT_TRUE(result.accepted);
    ASSERT_NE(taker->last("drop"), nullptr);
    EXPECT_EQ(taker->last("drop")->paths, std::vector<std::string>{"/tmp/one.wav"});
}

TEST_F(XdndTest, AViewThatTakesNoDropsIsRefusedButTheDropIsStillFinished) {
    ASSERT_TRUE(source->enter({"/tmp/x.wav"}, rootX(300), rootY(170)));
    EXPECT_TRUE(source->lastStatus().answered);
    EXPECT_FALSE(source->lastStatus().accepted);
    const auto result = source->drop();
    EXPECT_TRUE(result.finished);
    EXPECT_FALSE(result.accepted);
    EXPECT_EQ(refuser->kinds(), (std::vector<std::string>{"enter", "drop", "leave"}));
    EXPECT_TRUE(taker->kinds().empty());
}

TEST_F(XdndTest, OverTheBackgroundNothingIsAccepted) {
    ASSERT_TRUE(source->enter({"/tmp/x.wav"}, rootX(500), rootY(20)));
    EXPECT_FALSE(source->lastStatus().accepted);
    const auto result = source->drop();
    EXPECT_TRUE(result.finished);
    EXPECT_FALSE(result.accepted);
}

TEST_F(XdndTest, MovingBetweenViewsAndLeavingTellsEachView) {
    ASSERT_TRUE(source->enter({"/tmp/x.wav"}, rootX(100), rootY(170)));
    EXPECT_TRUE(source->lastStatus().accepted);
    EXPECT_TRUE(source->move(rootX(110), rootY(171)).accepted);
    EXPECT_FALSE(source->move(rootX(300), rootY(170)).accepted);
    EXPECT_TRUE(source->move(rootX(100), rootY(190)).accepted);
    source->leave();
    pumpUntil([&] { return other->last("leave") != nullptr; });
    EXPECT_EQ(taker->kinds(), (std::vector<std::string>{"enter", "move", "leave"}));
    EXPECT_EQ(refuser->kinds(), (std::vector<std::string>{"enter", "leave"}));
    EXPECT_EQ(other->kinds(), (std::vector<std::string>{"enter", "leave"}));
    EXPECT_EQ(other->last("enter")->where, CPoint(100, 190));
}

TEST_F(XdndTest, FiveHundredLongPathsArriveWholeAndInOrder) {
    std::vector<std::string> paths;
    for (int i = 0; i < 500; ++i)
        paths.push_back("/tmp/" + std::string(300, 'd') + "/sample number " + std::to_string(i) + ".wav");
    // More than three types (a type list to read) and data sent in pieces.
    source->options().extraTypes = {"text/plain", "UTF8_STRING", "text/x-moz-url"};
    source->options().incrThreshold = 16 * 1024;
    source->options().incrPiece = 8 * 1024;
    const auto result = source->dragAndDrop(paths, rootX(100), rootY(170));
    EXPECT_TRUE(result.accepted);
    const auto* drop = taker->last("drop");
    ASSERT_NE(drop, nullptr);
    EXPECT_EQ(drop->paths, paths);
}

TEST_F(XdndTest, ADragOfNoLocalFilesIsRefusedEverywhere) {
    // Only a path the list cannot name: the list is empty.
    ASSERT_TRUE(source->enter({"relative/name.wav"}, rootX(100), rootY(170)));
    EXPECT_FALSE(source->lastStatus().accepted);
    const auto result = source->drop();
    EXPECT_TRUE(result.finished);
    EXPECT_FALSE(result.accepted);
    EXPECT_TRUE(taker->kinds().empty());
}

TEST_F(XdndTest, ASourceThatGivesNoDataGetsARefusalAndItsFinish) {
    source->options().refuseData = true;
    ASSERT_TRUE(source->enter({"/tmp/x.wav"}, rootX(100), rootY(170)));
    EXPECT_TRUE(source->lastStatus().answered);
    EXPECT_FALSE(source->lastStatus().accepted);
    const auto result = source->drop();
    EXPECT_TRUE(result.finished);
    EXPECT_FALSE(result.accepted);
    EXPECT_GE(result.dataRequests, 1);
    EXPECT_TRUE(taker->kinds().empty());
}

TEST_F(XdndTest, SeveralDragsInARowEachGetTheirOwnFiles) {
    for (int i = 0; i < 5; ++i) {
        const std::string path = "/tmp/round " + std::to_string(i) + ".wav";
        const auto result = source->dragAndDrop({path}, rootX(100), rootY(170));
        EXPECT_TRUE(result.accepted);
        ASSERT_NE(taker->last("drop"), nullptr);
        EXPECT_EQ(taker->last("drop")->paths, std::vector<std::string>{path});
    }
}

TEST_F(XdndTest, ClosingTheWindowDuringADragIsSafe) {
    ASSERT_TRUE(source->enter({"/tmp/x.wav"}, rootX(100), rootY(170)));
    delete frame;
    frame = nullptr;
    gui::x11::pump();
    source->options().timeoutMs = 300;
    const auto result = source->drop();
    EXPECT_FALSE(result.accepted);
}

TEST_F(XdndTest, ClosingTheWindowWhileTheDataIsAwaitedStillAnswersTheSource) {
    // The source leaves the request for the data unanswered, so the drop
    // waits for it...
    source->options().ignoreDataRequests = true;
    source->options().timeoutMs = 200;
    ASSERT_TRUE(source->enter({"/tmp/x.wav"}, rootX(100), rootY(170)));
    EXPECT_FALSE(source->lastStatus().answered);  // the target waits for the data too
    source->drop();                               // times out
    // ...until the window closes: the source then hears a refusal.
    delete frame;
    frame = nullptr;
    source->options().timeoutMs = kPatienceMs;
    const auto result = source->awaitFinished();
    EXPECT_TRUE(result.finished);
    EXPECT_FALSE(result.accepted);
}

// A view that, while taking a drop, makes the host idle the editor again
// (as a host answering audioMasterIdle with effEditIdle does).
class ReenteringView : public RecordingView {
public:
    using RecordingView::RecordingView;
    bool onDrop(CDragContainer* drag, CPoint& where) override {
        for (int i = 0; i < 3; ++i)
            gui::x11::pump();
        return RecordingView::onDrop(drag, where);
    }
};

TEST_F(XdndTest, APumpFromInsideADropChangesNothing) {
    auto* view = new ReenteringView(CRect(300, 600, 500, 700), kRed, true);
    frame->addView(view);
    const auto result = source->dragAndDrop({"/tmp/r.wav"}, rootX(400), rootY(650));
    EXPECT_TRUE(result.finished);
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(view->kinds(), (std::vector<std::string>{"enter", "drop", "leave"}));
    // And the next drag goes through as usual.
    EXPECT_TRUE(source->dragAndDrop({"/tmp/s.wav"}, rootX(400), rootY(650)).accepted);
}

TEST_F(XdndTest, DataThatNeverComesEndsTheDropWithARefusal) {
    source->options().ignoreDataRequests = true;
    source->options().timeoutMs = 100;
    ASSERT_TRUE(source->enter({"/tmp/x.wav"}, rootX(100), rootY(170)));
    source->options().timeoutMs = kPatienceMs;
    const auto result = source->drop();
    EXPECT_TRUE(result.finished);
    EXPECT_FALSE(result.accepted);
    EXPECT_TRUE(taker->kinds().empty());
}

}  // namespace
}  // namespace rimbrel::test
