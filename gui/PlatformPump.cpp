// The pump slot: the platform in use installs its pump, the editor binding
// runs it on every host idle call.
#include <mutex>

#include "platform/Windows.h"
#include "gui/Timer.h"

namespace rimbrel::gui {

namespace {
std::mutex pumpMutex;
PlatformPump& installedPump() {
    static PlatformPump pump;
    return pump;
}
}  // namespace

void setPlatformPump(PlatformPump pump) {
    std::lock_guard<std::mutex> lock(pumpMutex);
    installedPump() = std::move(pump);
}

void runPlatformPump() {
    PlatformPump pump;
    {
        std::lock_guard<std::mutex> lock(pumpMutex);
        pump = installedPump();
    }
    if (pump)
        pump();
    else
        CTimerService::fireDue();
}

}  // namespace rimbrel::gui
