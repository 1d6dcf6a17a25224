// The built Rimbrel.so in a host of the test's own under a real X server:
// the window opened and closed many times in a parent window leaves no
// memory, descriptors or X resources behind; a host that closes the effect
// with its window still open, or that unloads the module right after, does
// not bring the plug-in down.
//
// RIMBREL_EDITOR_CYCLES sets the number of open/close cycles (200 by
// default, fewer under a sanitizer or valgrind).
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>

#include "RobustSupport.h"
#include "plugin/vst2/Vst2.h"

namespace rimbrel::robust {
namespace {

using Entry = AEffect* (*)(audioMasterCallback);

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

VstIntPtr send(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
               float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

// The X resources a client holds, by type name.
using ResourceCounts = std::map<std::string, int>;

ResourceCounts clientResources(Display* dpy, XID anyIdOfTheClient) {
    ResourceCounts counts;
    int n = 0;
    XResType* types = nullptr;
    if (!XResQueryClientResources(dpy, anyIdOfTheClient, &n, &types)) return counts;
    for (int i = 0; i < n; ++i) {
        char* name = XGetAtomName(dpy, types[i].resource_type);
        counts[name ? name : "?"] = int(types[i].count);
        if (name) XFree(name);
    }
    XFree(types);
    return counts;
}

int total(const ResourceCounts& c) {
    int t = 0;
    for (const auto& [type, n] : c) t += n;
    return t;
}

std::string describe(const ResourceCounts& c) {
    std::string s;
    for (const auto& [type, n] : c) s += type + "=" + std::to_string(n) + " ";
    return s;
}

class EditorCycles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        // A busy Xvfb refuses a connection now and then (EAGAIN): retry.
        for (int attempt = 0; attempt < 50 && !dpy; ++attempt) {
            dpy = XOpenDisplay(nullptr);
            if (!dpy) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!dpy) GTEST_SKIP() << "the X display does not answer";
        int event = 0, error = 0;
        if (!XResQueryExtension(dpy, &event, &error)) GTEST_SKIP() << "the X server has no X-Resource extension";
        handle = dlopen(RIMBREL_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        auto entry = reinterpret_cast<Entry>(dlsym(handle, "VSTPluginMain"));
        ASSERT_NE(entry, nullptr);
        effect = entry(host);
        ASSERT_NE(effect, nullptr);
        ASSERT_TRUE(effect->flags & effFlagsHasEditor);
        send(effect, effOpen);
        parent = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 540, 786, 0, 0, 0);
        XMapWindow(dpy, parent);
        XSync(dpy, False);
    }
    void TearDown() override {
        if (effect) send(effect, effClose);
        if (handle) dlclose(handle);
        if (dpy) {
            if (parent) XDestroyWindow(dpy, parent);
            XCloseDisplay(dpy);
        }
    }

    // One cycle as a host does it: open in the parent, a few idle calls
    // (which pump the plug-in's window and timers), close.
    void cycle(int idles = 3) {
        ASSERT_EQ(send(effect, effEditOpen, 0, reinterpret_cast<VstIntPtr>(dpy),
                       reinterpret_cast<void*>(static_cast<uintptr_t>(parent))),
                  1);
        for (int i = 0; i < idles; ++i) send(effect, effEditIdle);
        send(effect, effEditClose);
        send(effect, effEditIdle);
    }

    // Any X id of the plug-in's own connection: its frame window, taken
    // from the parent while the window is open.
    XID pluginClientId() {
        send(effect, effEditOpen, 0, reinterpret_cast<VstIntPtr>(dpy), reinterpret_cast<void*>(uintptr_t(parent)));
        send(effect, effEditIdle);
        Window root = 0, up = 0, *children = nullptr;
        unsigned n = 0;
        XQueryTree(dpy, parent, &root, &up, &children, &n);
        const XID id = n > 0 ? children[0] : 0;
        if (children) XFree(children);
        send(effect, effEditClose);
        return id;
    }

    // Pixels of the parent that are not black: the plug-in's drawing shows.
    int drawnPixels() {
        XSync(dpy, False);
        XImage* image = XGetImage(dpy, parent, 0, 0, 540, 786, AllPlanes, ZPixmap);
        if (!image) return -1;
        int n = 0;
        for (int y = 0; y < 786; y += 2)
            for (int x = 0; x < 540; x += 2)
                if ((XGetPixel(image, x, y) & 0xffffff) != 0) ++n;
        XDestroyImage(image);
        return n;
    }

    Display* dpy = nullptr;
    Window parent = 0;
    void* handle = nullptr;
    AEffect* effect = nullptr;
};

TEST_F(EditorCycles, OpeningAndClosingTheWindowLeavesNothingBehind) {
    const int cycles = loopCount("RIMBREL_EDITOR_CYCLES", 200, 10);
    const XID client = pluginClientId();
    ASSERT_NE(client, 0u) << "the plug-in's window did not appear in the parent";
    // Warm-up: caches of fonts, bitmaps and cairo fill up once.
    for (int i = 0; i < 10; ++i) cycle();
    XSync(dpy, False);
    const ResourceCounts xBefore = clientResources(dpy, client);
    const long rssBefore = residentKiB();
    const std::size_t heapBefore = heapInUse();
    const int fdsBefore = openDescriptors();
    const auto start = std::chrono::steady_clock::now();
    {
        Watchdog watchdog("editor open/close cycles", std::chrono::seconds(600));
        for (int i = 0; i < cycles; ++i) cycle();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    XSync(dpy, False);
    const ResourceCounts xAfter = clientResources(dpy, client);
    const long rssAfter = residentKiB();
    const std::size_t heapAfter = heapInUse();
    const int fdsAfter = openDescriptors();

    std::printf(
        "%d cycles in %.1f s\n  RSS %ld -> %ld KiB\n  heap %zu -> %zu bytes\n  descriptors %d -> %d\n"
        "  X resources %s-> %s\n",
        cycles, seconds, rssBefore, rssAfter, heapBefore, heapAfter, fdsBefore, fdsAfter,
        describe(xBefore).c_str(), describe(xAfter).c_str());
    RecordProperty("cycles", cycles);
    RecordProperty("rss_kib_before", std::to_string(rssBefore));
    RecordProperty("rss_kib_after", std::to_string(rssAfter));
    RecordProperty("heap_before", std::to_string(heapBefore));
    RecordProperty("heap_after", std::to_string(heapAfter));

    EXPECT_EQ(describe(xAfter), describe(xBefore));
    EXPECT_GT(total(xBefore), 0);

    // The window still opens and draws after all that, with the resources
    // of an open window on top of those of the idle connection.
    ASSERT_EQ(send(effect, effEditOpen, 0, reinterpret_cast<VstIntPtr>(dpy), reinterpret_cast<void*>(uintptr_t(parent))),
              1);
    for (int i = 0; i < 3; ++i) send(effect, effEditIdle);
    const ResourceCounts xOpen = clientResources(dpy, client);
    std::printf("  X resources while open: %s\n", describe(xOpen).c_str());
    EXPECT_GT(total(xOpen), total(xBefore));
    EXPECT_GT(drawnPixels(), 1000);
    send(effect, effEditClose);
    EXPECT_EQ(fdsAfter, fdsBefore);
    // A leak of even one small block per cycle shows here; the allocator's
    // own bookkeeping stays far below.
    EXPECT_LT(static_cast<long long>(heapAfter) - static_cast<long long>(heapBefore), 16 * 1024 + cycles * 8);
    // valgrind and the sanitizers keep memory of their own in the RSS.
    if (!slowRuntime()) {
        EXPECT_LT(rssAfter - rssBefore, 2048);
    }
}

TEST_F(EditorCycles, TheHostClosesTheEffectWithItsWindowOpenAndUnloadsIt) {
    ASSERT_EQ(send(effect, effEditOpen, 0, reinterpret_cast<VstIntPtr>(dpy), reinterpret_cast<void*>(uintptr_t(parent))),
              1);
    for (int i = 0; i < 5; ++i) send(effect, effEditIdle);
    {
        Watchdog watchdog("effClose with the window open", std::chrono::seconds(20));
        send(effect, effClose);
        effect = nullptr;
        dlclose(handle);
        handle = nullptr;
    }
    // The parent and the X server carry on; nothing of the module runs any
    // more (a timer or thread left behind would crash here).
    for (int i = 0; i < 20; ++i) {
        while (XPending(dpy)) {
            XEvent e;
            XNextEvent(dpy, &e);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Window root = 0, up = 0, *children = nullptr;
    unsigned n = 0;
    XQueryTree(dpy, parent, &root, &up, &children, &n);
    if (children) XFree(children);
    EXPECT_EQ(n, 0u) << "the plug-in's window outlived its effect";
}

TEST_F(EditorCycles, AnEditorOpenedTwiceAndClosedTwiceEndsWithOneWindowThenNone) {
    auto childCount = [this] {
        XSync(dpy, False);
        Window root = 0, up = 0, *children = nullptr;
        unsigned n = 0;
        XQueryTree(dpy, parent, &root, &up, &children, &n);
        if (children) XFree(children);
        return n;
    };
    // Idle and close before any open, then a rect before the open.
    send(effect, effEditIdle);
    send(effect, effEditClose);
    ERect* rect = nullptr;
    EXPECT_EQ(send(effect, effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 540);
    EXPECT_EQ(rect->bottom - rect->top, 786);
    for (int i = 0; i < 2; ++i)
        send(effect, effEditOpen, 0, reinterpret_cast<VstIntPtr>(dpy), reinterpret_cast<void*>(uintptr_t(parent)));
    send(effect, effEditIdle);
    EXPECT_EQ(childCount(), 1u);
    send(effect, effEditClose);
    send(effect, effEditClose);
    send(effect, effEditIdle);
    EXPECT_EQ(childCount(), 0u);
}

TEST_F(EditorCycles, TheHostDestroysTheParentBeforeClosingTheEditor) {
    // The parent goes first, taking the plug-in's window with it; the
    // plug-in's requests on its vanished window must not reach Xlib's
    // default error handler, which would end the host.
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(send(effect, effEditOpen, 0, reinterpret_cast<VstIntPtr>(dpy),
                       reinterpret_cast<void*>(uintptr_t(parent))),
                  1);
        for (int i = 0; i < 3; ++i) send(effect, effEditIdle);
        XDestroyWindow(dpy, parent);
        XSync(dpy, False);
        for (int i = 0; i < 3; ++i) send(effect, effEditIdle);
        send(effect, effEditClose);
        send(effect, effEditIdle);
        parent = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 540, 786, 0, 0, 0);
        XMapWindow(dpy, parent);
        XSync(dpy, False);
    }
    // And the window still opens and draws in a new parent.
    ASSERT_EQ(send(effect, effEditOpen, 0, reinterpret_cast<VstIntPtr>(dpy), reinterpret_cast<void*>(uintptr_t(parent))),
              1);
    for (int i = 0; i < 3; ++i) send(effect, effEditIdle);
    EXPECT_GT(drawnPixels(), 1000);
    send(effect, effEditClose);
}

TEST_F(EditorCycles, AParentWindowThatDoesNotExist) {
    // An id no window has (the host's own client range, never created).
    const Window bogus = parent + 0x1000;
    const VstIntPtr opened =
        send(effect, effEditOpen, 0, reinterpret_cast<VstIntPtr>(dpy), reinterpret_cast<void*>(uintptr_t(bogus)));
    for (int i = 0; i < 3; ++i) send(effect, effEditIdle);
    send(effect, effEditClose);
    send(effect, effEditIdle);
    (void)opened;  // either answer will do; the host must survive
    ASSERT_EQ(send(effect, effEditOpen, 0, reinterpret_cast<VstIntPtr>(dpy), reinterpret_cast<void*>(uintptr_t(parent))),
              1);
    for (int i = 0; i < 3; ++i) send(effect, effEditIdle);
    EXPECT_GT(drawnPixels(), 1000);
    send(effect, effEditClose);
}

TEST_F(EditorCycles, TwoInstancesOneClosedWithItsWindowOpen) {
    // Two instances of the plug-in in one host share its X connection; the
    // first goes away with its window open while the second carries on.
    auto entry = reinterpret_cast<Entry>(dlsym(handle, "VSTPluginMain"));
    AEffect* second = entry(host);
    ASSERT_NE(second, nullptr);
    const Window parent2 = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 600, 0, 540, 786, 0, 0, 0);
    XMapWindow(dpy, parent2);
    XSync(dpy, False);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(send(effect, effEditOpen, 0, reinterpret_cast<VstIntPtr>(dpy),
                       reinterpret_cast<void*>(uintptr_t(parent))),
                  1);
        ASSERT_EQ(send(second, effEditOpen, 0, reinterpret_cast<VstIntPtr>(dpy),
                       reinterpret_cast<void*>(uintptr_t(parent2))),
                  1);
        for (int i = 0; i < 3; ++i) {
            send(effect, effEditIdle);
            send(second, effEditIdle);
        }
        send(effect, effClose);  // its window still open
        effect = entry(host);    // the host makes a new one in its place
        ASSERT_NE(effect, nullptr);
        for (int i = 0; i < 3; ++i) send(second, effEditIdle);
        XSync(dpy, False);
        XImage* image = XGetImage(dpy, parent2, 0, 0, 540, 786, AllPlanes, ZPixmap);
        ASSERT_NE(image, nullptr);
        int drawn = 0;
        for (int y = 0; y < 786; y += 4)
            for (int x = 0; x < 540; x += 4) drawn += (XGetPixel(image, x, y) & 0xffffff) != 0;
        XDestroyImage(image);
        EXPECT_GT(drawn, 200) << "round " << round;
        send(second, effEditClose);
    }
    send(second, effClose);
    XDestroyWindow(dpy, parent2);
}

TEST(EditorWithoutDisplay, OpeningTheWindowWithNoXServerFailsQuietly) {
    // In a child process of its own, where no X connection was ever made.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        unsetenv("DISPLAY");
        void* handle = dlopen(RIMBREL_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!handle) _exit(10);
        auto entry = reinterpret_cast<Entry>(dlsym(handle, "VSTPluginMain"));
        AEffect* e = entry ? entry(host) : nullptr;
        if (!e) _exit(11);
        int parentStandIn = 0;
        const VstIntPtr opened = send(e, effEditOpen, 0, 0, &parentStandIn);
        send(e, effEditIdle);
        send(e, effEditClose);
        send(e, effClose);
        (void)opened;  // the answer may be either; the host must carry on
        dlclose(handle);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "the child was killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace rimbrel::robust
