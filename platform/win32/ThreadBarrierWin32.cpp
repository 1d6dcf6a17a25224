// The process-wide barrier: FlushProcessWriteBuffers interrupts every
// processor running a thread of the process (Windows Vista and later).
#include "platform/ThreadBarrier.h"

#include <windows.h>

namespace rimbrel::platform {

bool processWideBarrierAvailable() { return true; }

void processWideBarrier() { FlushProcessWriteBuffers(); }

}  // namespace rimbrel::platform
