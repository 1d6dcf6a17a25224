// A host that behaves like the DAWs: its top-level speaks XDND itself, and
// the window it hands to the editor sits on the root when the editor opens
// and is reparented into the top-level (below a toolbar) afterwards. The
// drop proxy has to follow, put back exactly what it changed, take the drops
// over the editor and leave the rest of the window to the host.
#include <map>

#include "tests/x11/X11TestSupport.h"
#include "tools/rimbrel-host/DragSource.h"

namespace rimbrel::test {
namespace {

using rimbrel::host::DragSource;

const CColor kRed(200, 30, 40);
constexpr int kToolbar = 100;  // the host's own strip above the editor

class HostTreeTest : public X11Test {
protected:
    void SetUp() override {
        X11Test::SetUp();
        if (IsSkipped())
            return;
        setLong(host, "XdndAware", XA_ATOM, 5);  // the host takes drops itself
        XSelectInput(hostDisplay, host, StructureNotifyMask);
        editorParent = XCreateSimpleWindow(hostDisplay, root, 0, 0, 1, 1, 0, 0, 0);
        XSync(hostDisplay, False);
    }

    void setLong(Window w, const char* name, Atom type, long value) {
        XChangeProperty(hostDisplay, w, XInternAtom(hostDisplay, name, False), type, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&value), 1);
        XSync(hostDisplay, False);
    }

    // Every property of a window with its value.
    std::map<std::string, std::string> snapshot(Window w) {
        std::map<std::string, std::string> all;
        int count = 0;
        Atom* names = XListProperties(hostDisplay, w, &count);
        for (int i = 0; i < count; ++i) {
            Atom type = None;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            XGetWindowProperty(hostDisplay, w, names[i], 0, 1024, False, AnyPropertyType, &type, &format, &items,
                               &after, &data);
            char* name = XGetAtomName(hostDisplay, names[i]);
            const std::size_t unit = format == 32 ? sizeof(long) : static_cast<std::size_t>(format / 8);
            all[name] = std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), items * unit);
            XFree(name);
            if (data)
                XFree(data);
        }
        if (names)
            XFree(names);
        return all;
    }

    // The host moves its window into the top-level, below its toolbar.
    void embed(Window into) {
        XReparentWindow(hostDisplay, editorParent, into, 0, kToolbar);
        XResizeWindow(hostDisplay, editorParent, 540, 786);
        XMapWindow(hostDisplay, editorParent);
        XSync(hostDisplay, False);
    }

    bool proxyFollowed(Window to) {
        return pumpUntil([&] { return property(to, "XdndProxy", XA_WINDOW) == frameWindow(); });
    }

    // The host's side of a drag: what reaches the top-level, answered with
    // refusals as a host does over its own area.
    void serveHost() {
        while (XPending(hostDisplay)) {
            XEvent e;
            XNextEvent(hostDisplay, &e);
            if (e.type != ClientMessage || e.xclient.window != host)
                continue;
            char* name = XGetAtomName(hostDisplay, e.xclient.message_type);
            hostSaw.emplace_back(name);
            XFree(name);
            const std::string& kind = hostSaw.back();
            if (kind == "XdndPosition" || kind == "XdndDrop") {
                XEvent reply{};
                reply.xclient.type = ClientMessage;
                reply.xclient.window = static_cast<Window>(e.xclient.data.l[0]);
                reply.xclient.message_type =
                    XInternAtom(hostDisplay, kind == "XdndDrop" ? "XdndFinished" : "XdndStatus", False);
                reply.xclient.format = 32;
                reply.xclient.data.l[0] = static_cast<long>(host);
                XSendEvent(hostDisplay, reply.xclient.window, False, NoEventMask, &reply);
                XFlush(hostDisplay);
            }
        }
    }

    std::unique_ptr<DragSource> dragSource() {
        auto source = std::make_unique<DragSource>();
        source->options().timeoutMs = kPatienceMs;
        source->setIdle([this] {
            gui::x11::pump();
            serveHost();
        });
        return source;
    }

    Window editorParent = None;
    std::vector<std::string> hostSaw;
};

TEST_F(HostTreeTest, TheProxyFollowsTheReparentAndEverythingIsPutBackOnClose) {
    // A window between with a proxy of the host's own, and a WM_STATE on the
    // top-level as a window manager sets it.
    Window middle = XCreateSimpleWindow(hostDisplay, host, 0, 0, 540, 886, 0, 0, 0);
    XMapWindow(hostDisplay, middle);
    setLong(middle, "XdndProxy", XA_WINDOW, static_cast<long>(host));
    setLong(host, "WM_STATE", XInternAtom(hostDisplay, "WM_STATE", False), 1);
    const auto hostBefore = snapshot(host);
    const auto middleBefore = snapshot(middle);
    const auto parentBefore = snapshot(editorParent);

    openFrame(editorParent);
    ASSERT_NE(frameWindow(), None);
    // On the root, the parent is the top-level for now.
    EXPECT_EQ(property(editorParent, "XdndProxy", XA_WINDOW), frameWindow());
    EXPECT_EQ(property(editorParent, "XdndAware", XA_ATOM), 5u);

    embed(middle);
    ASSERT_TRUE(proxyFollowed(host));
    EXPECT_EQ(property(middle, "XdndProxy", XA_WINDOW), frameWindow());
    EXPECT_EQ(property(editorParent, "XdndProxy", XA_WINDOW), frameWindow());
    EXPECT_FALSE(hasProperty(editorParent, "XdndAware"));  // ours, and no longer needed
    EXPECT_EQ(property(host, "XdndAware", XA_ATOM), 5u);

    delete frame;
    frame = nullptr;
    XSync(hostDisplay, False);
    EXPECT_EQ(snapshot(host), hostBefore);
    EXPECT_EQ(snapshot(middle), middleBefore);
    EXPECT_EQ(snapshot(editorParent), parentBefore);
}

TEST_F(HostTreeTest, AnAwarenessTheHostSetsWhileTheEditorIsOpenStays) {
    XDeleteProperty(hostDisplay, host, XInternAtom(hostDisplay, "XdndAware", False));
    XSync(hostDisplay, False);
    openFrame();
    EXPECT_EQ(property(host, "XdndAware", XA_ATOM), 5u);  // ours
    setLong(host, "XdndAware", XA_ATOM, 5);               // now the host's, same value
    delete frame;
    frame = nullptr;
    XSync(hostDisplay, False);
    EXPECT_EQ(property(host, "XdndAware", XA_ATOM), 5u);
    EXPECT_FALSE(hasProperty(host, "XdndProxy"));
}

TEST_F(HostTreeTest, DropsOverTheEditorAreOursAndTheRestGoesToTheHost) {
    openFrame(editorParent);
    auto* taker = new RecordingView(CRect(34, 160, 206, 178), kRed, true);
    frame->addView(taker);
    embed(host);
    ASSERT_TRUE(proxyFollowed(host));
    ASSERT_TRUE(waitForPixel(100, kToolbar + 170, kRed));
    auto source = dragSource();
    const int overKey = hostY + kToolbar + 170, overToolbar = hostY + 50;

    // Addressed to the top-level, over the editor: ours, and every answer
    // names the top-level.
    ASSERT_TRUE(source->enter({"/tmp/kick.wav"}, hostX + 100, overKey));
    EXPECT_EQ(source->targetWindow(), host);
    EXPECT_EQ(source->proxyWindow(), frameWindow());
    EXPECT_TRUE(source->lastStatus().accepted);
    // Out over the toolbar: the views lose the drag, the host is shown it
    // from its enter and answers itself.
    const auto overHost = source->move(hostX + 100, overToolbar);
    EXPECT_TRUE(overHost.answered);
    EXPECT_FALSE(overHost.accepted);
    EXPECT_EQ(hostSaw, (std::vector<std::string>{"XdndEnter", "XdndPosition"}));
    EXPECT_EQ(taker->kinds(), (std::vector<std::string>{"enter", "leave"}));
    // Back over the key: the host hears the drag left, the view gets it.
    EXPECT_TRUE(source->move(hostX + 110, overKey).accepted);
    EXPECT_EQ(hostSaw.back(), "XdndLeave");
    const auto result = source->drop();
    EXPECT_TRUE(result.finished);
    EXPECT_TRUE(result.accepted);
    ASSERT_NE(taker->last("drop"), nullptr);
    EXPECT_EQ(taker->last("drop")->paths, std::vector<std::string>{"/tmp/kick.wav"});

    // A drop on the toolbar is the host's: it finishes it itself.
    hostSaw.clear();
    const auto onToolbar = source->dragAndDrop({"/tmp/snare.wav"}, hostX + 100, overToolbar);
    EXPECT_TRUE(onToolbar.finished);
    EXPECT_FALSE(onToolbar.accepted);
    EXPECT_EQ(hostSaw, (std::vector<std::string>{"XdndEnter", "XdndPosition", "XdndDrop"}));
    EXPECT_EQ(taker->kinds().size(), 5u);  // nothing more reached the views
}

}  // namespace
}  // namespace rimbrel::test
