// `rimbrel-host editor`: opens a plug-in's editor the way a DAW does and
// keeps it running.
//
// The main thread is the UI thread: it owns a top-level X11 window on a
// connection of its own, asks the editor for its rectangle, opens the
// editor in the window (effEditOpen: ptr = the Window id, value = the
// host's Display*), sizes the window to the rectangle and calls effEditIdle
// every 20 ms. A second thread plays the audio role: effMainsChanged(1), then
// effProcessEvents and processReplacing block by block at the real-time rate,
// with the scheduled notes, recording the output if asked. The run ends
// after --seconds or when the window is closed (WM_DELETE_WINDOW): editor
// closed, processing stopped, effect closed.
//
// With embedLater the host behaves like the DAWs that embed the editor
// afterwards (Ardour's XEmbed plug-in window, GTK and Qt hosts): the
// editor's parent is created unmapped on the root, passed to effEditOpen,
// and reparented into the top-level only after the editor opened and had
// an idle round. The top-level then holds a strip of its own above the
// editor, like a host toolbar, and is itself XdndAware, answering (and
// refusing) the drops that reach it (HostDropArea). "editor embedded" on
// stdout tells when the editor has moved into the top-level.
//
// Scripted actions (clicks, a drop of files through XDND like a file
// manager's) run one after another from --after ms on, 200 ms apart.
#pragma once

#include <string>
#include <vector>

#include "tools/rimbrel-host/Render.h"

namespace rimbrel::host {

struct EditorAction {
    enum Kind { Click,
                Drop };
    Kind kind = Click;
    // Click: a point of the plug-in's window and the modifiers held.
    int x = 0;
    int y = 0;
    bool shift = false;
    bool control = false;
    bool alt = false;
    // Drop: the files, onto the name label of `key` (-1: the drop button),
    // or onto the host's own strip above the editor (embedLater only).
    std::vector<std::string> paths;
    int key = -1;
    bool onHostArea = false;
};

struct EditorOptions {
    std::string pluginPath;
    double seconds = 0;  // 0: until the window is closed
    std::string screenshotPath;
    int screenshotAtMs = -1;  // -1: just before closing
    std::string recordPath;
    double sampleRate = 44100.0;
    int blockSize = 256;
    std::vector<TimedMidi> events;
    std::vector<EditorAction> actions;
    int actionsAfterMs = 500;
    bool dropToDeepestWindow = false;  // find the target like Qt, not like a GTK file manager
    bool uiThread = false;             // run the UI on a thread of its own, not the main thread
    bool embedLater = false;           // reparent the editor's parent into the top-level after opening
    std::string loadStatePath;         // handed to effSetChunk before the editor opens
    std::string saveStatePath;         // effGetChunk written here after the run
};

// The height of the host's own strip above the editor in embedLater mode.
constexpr int kHostStripHeight = 40;

// "X,Y[,mods]" with mods among shift, ctrl, alt, joined by '+' or ','.
bool parseClickSpec(const std::string& text, EditorAction& action, std::string& error);

// Where a drop on key `key`'s name label (or, for -1, on the drop button)
// lands in the plug-in's window: the middle of the control.
void dropPoint(int key, int& x, int& y);

// Runs the editor; answers the program's exit code (0 when every drop asked
// for was made, whatever its answer, and the editor left the host's windows'
// drop properties as it found them). Drop answers go to stdout as
// "drop accepted" or "drop refused".
int runEditor(const EditorOptions& options, std::string& error);

}  // namespace rimbrel::host
