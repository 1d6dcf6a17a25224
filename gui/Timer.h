// Timers that send "timer fired" to a receiver, driven by the platform's
// pump through a process-wide service.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "gui/Base.h"

namespace rimbrel::gui {

// A periodic timer. While started it sends notify(this, kMsgTimer) to its
// receiver every `fireTime` ms, as often as the pump allows (late ticks are
// not made up). It runs whether or not any window is open.
class CVSTGUITimer : public CBaseObject {
public:
    CVSTGUITimer(CBaseObject* receiver, uint32_t fireTimeMs = 100, bool doStart = false);
    ~CVSTGUITimer() override;  // stops the timer

    bool start();
    bool stop();
    // Changes the period; a running timer starts over with the new one.
    bool setFireTime(uint32_t ms);
    uint32_t getFireTime() const { return fireTime.load(std::memory_order_relaxed); }
    bool isRunning() const { return running.load(std::memory_order_relaxed); }
    CBaseObject* getReceiver() const { return receiver; }

private:
    friend class CTimerService;
    void fire();

    CBaseObject* receiver;
    std::atomic<uint32_t> fireTime;
    std::atomic<bool> running{false};
    uint64_t nextFire = 0;  // guarded by the service's lock
};

// The process-wide list of running timers. A platform's pump (the X11 host
// idle call, the headless test clock) calls fireDue(); it fires every timer
// whose time has come, once, and schedules its next tick a period later.
// Creating, starting, stopping and destroying timers may happen on any
// thread; notifications are sent on the thread that calls fireDue. A timer
// stopped or destroyed on another thread waits until the round of ticks in
// progress has ended, so no notification comes from a timer once stop() or
// its destruction has returned. A receiver may stop or release its own timer
// while being notified.
class CTimerService {
public:
    using Clock = std::function<uint64_t()>;

    // Milliseconds of the service's monotonic clock.
    static uint64_t now();
    // Replaces the clock (tests install a virtual one); nullptr restores the
    // steady system clock. Answers the clock it replaces.
    static Clock setClock(Clock clock);

    // Fires the due timers; answers how many were fired.
    static int fireDue();
    // The time of the next tick of any running timer, or UINT64_MAX.
    static uint64_t nextDue();
    static int runningCount();

private:
    friend class CVSTGUITimer;
    static void add(CVSTGUITimer* timer);
    static void remove(CVSTGUITimer* timer);
};

}  // namespace rimbrel::gui
