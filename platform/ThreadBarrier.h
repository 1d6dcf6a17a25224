// A memory barrier that one thread makes for every thread of the process.
//
// The kit's key-rewrite protocol needs a full barrier between a store and a
// load on both threads involved. The UI thread rewrites keys rarely; the
// audio thread starts a block hundreds of times a second. With a process-wide
// barrier the UI side pays for both (a system call per rewrite), and the
// audio thread's side needs no locked instruction at all.
#pragma once

namespace rimbrel::platform {

// Prepares the barrier once for the process; true when the platform has it.
// Call before relying on processWideBarrier (any thread, any number of times).
bool processWideBarrierAvailable();

// Returns once every thread of the process that was running has passed a full
// memory barrier. Only after processWideBarrierAvailable() answered true.
void processWideBarrier();

}  // namespace rimbrel::platform
