// The rate converter of the kit's own: a windowed-sinc filter (Kaiser window,
// 32 zero crossings each side, passband to 91% of the lower Nyquist rate),
// for platforms without libsoxr. Output frame n is the input at time
// n * sourceRate / 44100, so the first frames line up as they do with soxr.
#include "kit/RateConverter.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <vector>

namespace rimbrel {

namespace {

constexpr int kZeroCrossings = 32;
constexpr int kTableSteps = 512;  // kernel entries per zero crossing
constexpr double kKaiserBeta = 9.0;
constexpr double kPassband = 0.91;
// Input taken per call beyond what the filter needs: bounds the memory held.
constexpr std::size_t kMaxHeldFrames = 1 << 16;

double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 50 && term > 1e-12 * sum; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

struct SincState {
    int64_t sourceRate = 0;
    double gain = 1.0;         // the cutoff as a fraction of the input's Nyquist rate
    double halfWidth = 0.0;    // input frames each side of the output's time
    std::vector<float> table;  // the windowed sinc at u = 0..kZeroCrossings
    std::vector<float> held;   // input frames from heldStart on
    int64_t heldStart = 0;
    int64_t inputFrames = 0;  // all taken so far
    int64_t nextOutput = 0;
    bool ended = false;
    int64_t lastOutput = 0;  // frames made in all, once the input ended

    float kernel(double x) const {
        const double u = std::abs(x) * gain * kTableSteps;
        const std::size_t i = std::size_t(u);
        if (i + 1 >= table.size()) return 0.0f;
        const double f = u - double(i);
        return float(gain * (table[i] * (1.0 - f) + table[i + 1] * f));
    }

    // The output's time in input frames, split into whole and fraction.
    void outputTime(int64_t n, int64_t& whole, double& fraction) const {
        const int64_t scaled = n * sourceRate;
        whole = scaled / 44100;
        fraction = double(scaled % 44100) / 44100.0;
    }

    float sample(int64_t i) const {
        if (i < heldStart || i >= heldStart + int64_t(held.size())) return 0.0f;
        return held[std::size_t(i - heldStart)];
    }

    float outputAt(int64_t whole, double fraction) const {
        const int64_t reach = int64_t(std::ceil(halfWidth));
        double sum = 0.0;
        for (int64_t i = whole - reach; i <= whole + reach; ++i)
            sum += double(sample(i)) * kernel(double(i - whole) - fraction);
        return float(sum);
    }
};

}  // namespace

std::unique_ptr<RateConverter> RateConverter::create(int sourceRate) {
    if (!convertsRate(sourceRate)) return nullptr;
    SincState* state = new (std::nothrow) SincState;
    if (!state) return nullptr;
    try {
        state->sourceRate = sourceRate;
        state->gain = kPassband * std::min(1.0, 44100.0 / double(sourceRate));
        state->halfWidth = kZeroCrossings / state->gain;
        state->table.resize(std::size_t(kZeroCrossings * kTableSteps + 1));
        const double i0Beta = besselI0(kKaiserBeta);
        for (std::size_t k = 0; k < state->table.size(); ++k) {
            const double u = double(k) / kTableSteps;
            const double sinc = k == 0 ? 1.0 : std::sin(std::numbers::pi * u) / (std::numbers::pi * u);
            const double r = u / kZeroCrossings;
            const double window = besselI0(kKaiserBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / i0Beta;
            state->table[k] = float(sinc * window);
        }
    } catch (const std::bad_alloc&) {
        delete state;
        return nullptr;
    }
    std::unique_ptr<RateConverter> converter(new (std::nothrow) RateConverter(state));
    if (!converter) delete state;
    return converter;
}

RateConverter::~RateConverter() { delete static_cast<SincState*>(state_); }

bool RateConverter::convert(const float* in, std::size_t inCount, std::size_t& used, float* out,
                            std::size_t outRoom, std::size_t& made) {
    SincState& s = *static_cast<SincState*>(state_);
    used = 0;
    made = 0;
    const int64_t reach = int64_t(std::ceil(s.halfWidth));
    try {
        // Drop what no later output reaches, then take input within the bound.
        int64_t whole = 0;
        double fraction = 0.0;
        s.outputTime(s.nextOutput, whole, fraction);
        const int64_t keepFrom = std::max<int64_t>(s.heldStart, whole - reach - 1);
        if (keepFrom > s.heldStart) {
            const int64_t drop = std::min<int64_t>(keepFrom - s.heldStart, int64_t(s.held.size()));
            s.held.erase(s.held.begin(), s.held.begin() + drop);
            s.heldStart += drop;
        }
        if (in == nullptr) {
            if (!s.ended) {
                s.ended = true;
                s.lastOutput = convertedFrames(s.inputFrames, int(s.sourceRate));
            }
        } else if (!s.ended) {
            const std::size_t room = kMaxHeldFrames + std::size_t(2 * reach) > s.held.size()
                                         ? kMaxHeldFrames + std::size_t(2 * reach) - s.held.size()
                                         : 0;
            used = std::min(inCount, room);
            s.held.insert(s.held.end(), in, in + used);
            s.inputFrames += int64_t(used);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    while (made < outRoom) {
        if (s.ended && s.nextOutput >= s.lastOutput) break;
        int64_t whole = 0;
        double fraction = 0.0;
        s.outputTime(s.nextOutput, whole, fraction);
        if (!s.ended && whole + reach >= s.inputFrames) break;  // needs input still to come
        out[made++] = s.outputAt(whole, fraction);
        ++s.nextOutput;
    }
    return true;
}

}  // namespace rimbrel
