#include "kit/RateConverter.h"

#include <cmath>
#include <limits>

namespace rimbrel {

int64_t convertedFrames(int64_t sourceFrames, int sourceRate) {
    if (sourceFrames <= 0 || sourceRate <= 0) return 0;
    const double frames = std::nearbyint(double(sourceFrames) * (44100.0 / double(sourceRate)));
    // Anything near the top of the range is far beyond what a key can hold.
    if (!(frames < 0x1p62)) return int64_t(1) << 62;
    return int64_t(frames);
}

}  // namespace rimbrel
