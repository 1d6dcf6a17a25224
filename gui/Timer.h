// Timers that send "timer fired" to a receiver, driven by the platform's
// pump through a process-wide service.
#pragma once

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
    uint32_t getFireTime() const { return fireTime; }
    bool isRunning() const { return running; }
    CBaseObject* getReceiver() const { return receiver; }

private:
    friend class CTimerService;
    void fire();

    CBaseObject* receiver;
    uint32_t fireTime;
    bool running = false;
    uint64_t nextFire = 0;
};

// The process-wide list of running timers. A platform's pump (the X11 host
// idle call, the headless test clock) calls fireDue(); it fires every timer
// whose time has come, once, and schedules its next tick a period later.
// Start, stop and fireDue may come from any thread; notifications are sent on
// the thread that calls fireDue, outside any lock.
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
