#include "gui/Timer.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <vector>

namespace rimbrel::gui {

namespace {
struct Registry {
    // Held for a whole round of ticks; stop() takes it too, so a timer is
    // never destroyed by one thread while another notifies through it.
    std::recursive_mutex firing;
    std::mutex mutex;
    std::vector<CVSTGUITimer*> timers;
    CTimerService::Clock clock;
};

Registry& registry() {
    static Registry r;
    return r;
}

uint64_t steadyMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

// --- CVSTGUITimer ---

CVSTGUITimer::CVSTGUITimer(CBaseObject* r, uint32_t ms, bool doStart) : receiver(r), fireTime(ms == 0 ? 1u : ms) {
    if (doStart)
        start();
}

CVSTGUITimer::~CVSTGUITimer() {
    stop();
}

bool CVSTGUITimer::start() {
    CTimerService::add(this);
    return true;
}

bool CVSTGUITimer::stop() {
    CTimerService::remove(this);
    return true;
}

bool CVSTGUITimer::setFireTime(uint32_t ms) {
    fireTime.store(ms == 0 ? 1 : ms, std::memory_order_relaxed);
    if (running.load(std::memory_order_relaxed))
        start();  // starts over with the new period
    return true;
}

void CVSTGUITimer::fire() {
    if (receiver)
        receiver->notify(this, kMsgTimer);
}

// --- CTimerService ---

uint64_t CTimerService::now() {
    Registry& r = registry();
    Clock clock;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        clock = r.clock;
    }
    return clock ? clock() : steadyMs();
}

CTimerService::Clock CTimerService::setClock(Clock clock) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    Clock previous = std::move(r.clock);
    r.clock = std::move(clock);
    return previous;
}

void CTimerService::add(CVSTGUITimer* timer) {
    const uint64_t t = now();
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    timer->nextFire = t + timer->fireTime;
    timer->running = true;
    if (std::find(r.timers.begin(), r.timers.end(), timer) == r.timers.end())
        r.timers.push_back(timer);
}

void CTimerService::remove(CVSTGUITimer* timer) {
    Registry& r = registry();
    std::lock_guard<std::recursive_mutex> round(r.firing);
    std::lock_guard<std::mutex> lock(r.mutex);
    timer->running = false;
    r.timers.erase(std::remove(r.timers.begin(), r.timers.end(), timer), r.timers.end());
}

int CTimerService::fireDue() {
    Registry& r = registry();
    std::lock_guard<std::recursive_mutex> round(r.firing);
    const uint64_t t = now();
    std::vector<CVSTGUITimer*> due;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        for (CVSTGUITimer* timer : r.timers)
            if (timer->running && timer->nextFire <= t)
                due.push_back(timer);
    }
    int fired = 0;
    for (CVSTGUITimer* timer : due) {
        {
            std::lock_guard<std::mutex> lock(r.mutex);
            // A timer stopped, released or restarted by an earlier tick of
            // this round is skipped (and not touched if it is gone).
            if (std::find(r.timers.begin(), r.timers.end(), timer) == r.timers.end())
                continue;
            if (!timer->running || timer->nextFire > t)
                continue;
            timer->nextFire = t + timer->fireTime;
        }
        timer->fire();  // the receiver may release the timer here
        ++fired;
    }
    return fired;
}

uint64_t CTimerService::nextDue() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    uint64_t next = UINT64_MAX;
    for (CVSTGUITimer* timer : r.timers)
        if (timer->running)
            next = std::min(next, timer->nextFire);
    return next;
}

int CTimerService::runningCount() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return static_cast<int>(r.timers.size());
}

}  // namespace rimbrel::gui
