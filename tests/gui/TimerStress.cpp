// Timers created, restarted and released on one thread while another thread
// pumps them: no tick may reach a receiver through a timer that is gone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "gui/Timer.h"

namespace rimbrel::gui {
namespace {

class Counter : public CBaseObject {
public:
    CMessageResult notify(CBaseObject* sender, const char* message) override {
        if (isMessage(message, kMsgTimer))
            ticks.fetch_add(1, std::memory_order_relaxed);
        return kMessageNotified;
    }
    std::atomic<int> ticks{0};
};

TEST(TimerStress, TimersComeAndGoWhileAnotherThreadPumps) {
    std::atomic<uint64_t> clock{0};
    CTimerService::Clock previous = CTimerService::setClock([&] { return clock.load(); });
    Counter counter;
    std::atomic<bool> done{false};

    std::thread pump([&] {
        while (!done.load()) {
            clock.fetch_add(1);
            CTimerService::fireDue();
        }
    });

    std::vector<CVSTGUITimer*> previousRound;
    for (int round = 0; round < 2000; ++round) {
        std::vector<CVSTGUITimer*> timers;
        for (int i = 0; i < 4; ++i)
            timers.push_back(new CVSTGUITimer(&counter, 1 + i, true));
        timers[0]->setFireTime(2);
        timers[1]->stop();
        timers[1]->start();
        timers[2]->forget();  // released at once
        timers.erase(timers.begin() + 2);
        for (auto* t : previousRound)
            t->forget();
        previousRound = timers;
        std::this_thread::yield();
    }
    // The last round lives until it has ticked.
    for (int wait = 0; wait < 1000 && counter.ticks.load() == 0; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (auto* t : previousRound)
        t->forget();
    done = true;
    pump.join();
    CTimerService::setClock(previous);
    EXPECT_EQ(CTimerService::runningCount(), 0);
    EXPECT_GT(counter.ticks.load(), 0);
}

}  // namespace
}  // namespace rimbrel::gui
