#include "platform/ThreadBarrier.h"

#if defined(__linux__)
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace rimbrel::platform {

#if defined(__linux__)
namespace {
long membarrier(int command) { return syscall(__NR_membarrier, command, 0, 0); }
}  // namespace

bool processWideBarrierAvailable() {
    // The expedited form interrupts only the CPUs running this process's
    // threads; it must be registered once before use (kernels since 4.14).
    static const bool available = [] {
        const long commands = membarrier(MEMBARRIER_CMD_QUERY);
        if (commands < 0 || !(commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED)) return false;
        return membarrier(MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED) == 0;
    }();
    return available;
}

void processWideBarrier() { membarrier(MEMBARRIER_CMD_PRIVATE_EXPEDITED); }
#else
bool processWideBarrierAvailable() { return false; }
void processWideBarrier() {}
#endif

}  // namespace rimbrel::platform
