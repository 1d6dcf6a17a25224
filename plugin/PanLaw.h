// The pan law of a key's playback: equal power, unity at the centre.
//
// With theta = (pan + 1) * pi / 4 the gains are sqrt(2) * cos(theta) on the
// left and sqrt(2) * sin(theta) on the right, so gL^2 + gR^2 == 2 at every
// pan. cos(theta) is computed as sin((1 - pan) * pi / 4), which is the same
// value but lands on exactly 0 at full right, as sin does at full left.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>

namespace rimbrel {

struct PanGains {
    float left = 1.0f;
    float right = 1.0f;
};

// pan: -1 full left, 0 centre, +1 full right; outside that range it counts as
// the nearest end, and a pan that is not a number as the centre. At the
// centre both gains are exactly 1, so a centred key sounds as it would
// without pan.
inline PanGains panGains(float pan) {
    if (pan == 0.0f || std::isnan(pan)) return {};
    const double p = double(std::clamp(pan, -1.0f, 1.0f));
    const double quarterPi = std::numbers::pi / 4.0;
    return {float(std::numbers::sqrt2 * std::sin((1.0 - p) * quarterPi)),
            float(std::numbers::sqrt2 * std::sin((1.0 + p) * quarterPi))};
}

}  // namespace rimbrel
