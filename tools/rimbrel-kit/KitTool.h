// The commands of rimbrel-kit, callable without a process of their own.
#pragma once

namespace rimbrel {

// Exit codes: 0 done, 1 the work failed (invalid kit file, nothing taken,
// kit too long, a file not written), 2 the command line is wrong.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int runKitTool(int argc, const char* const* argv);

}  // namespace rimbrel
