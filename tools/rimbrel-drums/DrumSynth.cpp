#include "tools/rimbrel-drums/DrumSynth.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace rimbrel::drums {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// A small xorshift generator: white noise that is the same on every machine.
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed ? seed : 1u) {}
    double next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return double(state_) / 2147483648.0 - 1.0;
    }

private:
    uint32_t state_;
};

// Two-pole resonant filter (state-variable form), enough to shape noise.
class Filter {
public:
    enum Kind { LowPass,
                BandPass,
                HighPass };
    Filter(Kind kind, double cutoff, double q) : kind_(kind) {
        f_ = 2.0 * std::sin(std::numbers::pi * std::min(cutoff, kSampleRate / 6.0) / kSampleRate);
        damp_ = 1.0 / q;
    }
    double run(double in) {
        low_ += f_ * band_;
        const double high = in - low_ - damp_ * band_;
        band_ += f_ * high;
        switch (kind_) {
            case LowPass: return low_;
            case BandPass: return band_;
            default: return high;
        }
    }

private:
    Kind kind_;
    double f_, damp_;
    double low_ = 0.0, band_ = 0.0;
};

std::size_t framesOf(double seconds) { return std::size_t(seconds * kSampleRate + 0.5); }
double timeOf(std::size_t i) { return double(i) / kSampleRate; }
double decay(double t, double seconds) { return std::exp(-t / seconds); }

// A sine whose frequency glides exponentially from `from` to `to` Hz.
class Sweep {
public:
    Sweep(double from, double to, double glideSeconds) : from_(from), to_(to), glide_(glideSeconds) {}
    double next(double t) {
        const double f = to_ + (from_ - to_) * std::exp(-t / glide_);
        phase_ += kTwoPi * f / kSampleRate;
        return std::sin(phase_);
    }

private:
    double from_, to_, glide_;
    double phase_ = 0.0;
};

// Scales to the sound's peak and fades the last 5 ms so no sound ends in a click.
DrumSound finish(std::string name, double level, std::vector<double> s) {
    const std::size_t fade = std::min(s.size(), framesOf(0.005));
    for (std::size_t i = 0; i < fade; ++i) s[s.size() - 1 - i] *= double(i) / double(fade);
    double peak = 0.0;
    for (double v : s) peak = std::max(peak, std::fabs(v));
    DrumSound d{std::move(name), {}};
    d.frames.reserve(s.size());
    for (double v : s) d.frames.push_back(peak > 0.0 ? float(v * level / peak) : 0.0f);
    return d;
}

DrumSound kick() {
    std::vector<double> s(framesOf(0.55));
    Sweep body(160.0, 48.0, 0.045);
    Noise click(7);
    Filter clickTone(Filter::LowPass, 3000.0, 0.7);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        s[i] = body.next(t) * decay(t, 0.16) + 0.35 * clickTone.run(click.next()) * decay(t, 0.003);
    }
    return finish("01-kick", 0.70, std::move(s));
}

DrumSound snare() {
    std::vector<double> s(framesOf(0.35));
    Sweep low(240.0, 185.0, 0.02), high(400.0, 330.0, 0.02);
    Noise noise(11);
    Filter hiss(Filter::HighPass, 1800.0, 0.8);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        const double tone = (0.6 * low.next(t) + 0.4 * high.next(t)) * decay(t, 0.045);
        s[i] = 0.7 * tone + 0.8 * hiss.run(noise.next()) * decay(t, 0.075);
    }
    return finish("02-snare", 0.55, std::move(s));
}

// Metal: six square waves at inharmonic ratios, high-passed, like analogue hats.
double metal(double t) {
    static const double ratios[6] = {2.0, 3.0, 4.16, 5.43, 6.79, 8.21};
    double sum = 0.0;
    for (double r : ratios) sum += std::sin(kTwoPi * 317.0 * r * t) >= 0.0 ? 1.0 : -1.0;
    return sum / 6.0;
}

DrumSound hat(const char* name, double level, double seconds, double decaySeconds, uint32_t seed) {
    std::vector<double> s(framesOf(seconds));
    Noise noise(seed);
    Filter band(Filter::BandPass, 9000.0, 1.2), air(Filter::HighPass, 7000.0, 0.7);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        const double src = 0.6 * metal(t) + 0.5 * noise.next();
        s[i] = air.run(band.run(src)) * decay(t, decaySeconds);
    }
    return finish(name, level, std::move(s));
}

DrumSound clap() {
    std::vector<double> s(framesOf(0.4));
    Noise noise(23);
    Filter body(Filter::BandPass, 1100.0, 1.5);
    // Several hands: three short bursts 11 ms apart, then the room.
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        double env = 0.0;
        for (int b = 0; b < 3; ++b) {
            const double tb = t - 0.011 * b;
            if (tb >= 0.0) env = std::max(env, decay(tb, 0.006));
        }
        if (t >= 0.022) env = std::max(env, 0.55 * decay(t - 0.022, 0.09));
        s[i] = body.run(noise.next()) * env;
    }
    return finish("05-clap", 0.45, std::move(s));
}

DrumSound tom(const char* name, double from, double to, uint32_t seed) {
    const double level = 0.6;
    std::vector<double> s(framesOf(0.5));
    Sweep body(from, to, 0.08);
    Noise noise(seed);
    Filter skin(Filter::LowPass, 1500.0, 0.7);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        s[i] = body.next(t) * decay(t, 0.17) + 0.15 * skin.run(noise.next()) * decay(t, 0.02);
    }
    return finish(name, level, std::move(s));
}

DrumSound rim() {
    std::vector<double> s(framesOf(0.12));
    Noise noise(31);
    Filter knock(Filter::BandPass, 1700.0, 4.0);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        const double tone = 0.6 * std::sin(kTwoPi * 1700.0 * t) + 0.4 * std::sin(kTwoPi * 520.0 * t);
        s[i] = tone * decay(t, 0.012) + 0.8 * knock.run(noise.next()) * decay(t, 0.004);
    }
    return finish("08-rim", 0.35, std::move(s));
}

DrumSound cowbell() {
    std::vector<double> s(framesOf(0.4));
    Filter band(Filter::BandPass, 2600.0, 1.0);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = timeOf(i);
        const double a = std::sin(kTwoPi * 540.0 * t) >= 0.0 ? 1.0 : -1.0;
        const double b = std::sin(kTwoPi * 800.0 * t) >= 0.0 ? 1.0 : -1.0;
        const double env = t < 0.03 ? decay(t, 0.03) : decay(0.03, 0.03) * decay(t - 0.03, 0.12);
        s[i] = band.run(0.5 * (a + b)) * env;
    }
    return finish("09-cowbell", 0.30, std::move(s));
}

}  // namespace

std::vector<DrumSound> makeDrumKit() {
    std::vector<DrumSound> kit;
    kit.push_back(kick());
    kit.push_back(snare());
    kit.push_back(hat("03-closed-hat", 0.25, 0.15, 0.025, 13));
    kit.push_back(hat("04-open-hat", 0.28, 0.6, 0.18, 17));
    kit.push_back(clap());
    kit.push_back(tom("06-low-tom", 130.0, 85.0, 41));
    kit.push_back(tom("07-high-tom", 210.0, 150.0, 43));
    kit.push_back(rim());
    kit.push_back(cowbell());
    return kit;
}

std::vector<PatternHit> makeGroove(int64_t start, double bpm) {
    // Sixteen steps per bar; one row per key, 'x' where it plays.
    static const char* const rows[] = {
        "x.....x...x.....x.....x...x..x..",  // kick
        "....x.......x.......x.......x.x.",  // snare
        "x.x.x.x.x.x.x.x.x.x.x.x.x.x.....",  // closed hat
        "..............................x.",  // open hat
        "............x...............x...",  // clap
        "...........................x....",  // low tom
        ".........................x......",  // high tom
        "...x.......x.....x......x.......",  // rim
        "..........x.........x...........",  // cowbell
    };
    const double stepFrames = 60.0 * kSampleRate / bpm / 4.0;
    std::vector<PatternHit> hits;
    for (int key = 0; key < int(std::size(rows)); ++key)
        for (int step = 0; rows[key][step]; ++step)
            if (rows[key][step] == 'x')
                hits.push_back({start + int64_t(std::llround(step * stepFrames)), 53 + key,
                                int64_t(stepFrames * 0.9)});
    std::sort(hits.begin(), hits.end(),
              [](const PatternHit& a, const PatternHit& b) { return a.frame < b.frame || (a.frame == b.frame && a.note < b.note); });
    return hits;
}

std::string grooveAsText(const std::vector<PatternHit>& hits) {
    std::string text = "# frame  status  note  velocity\n";
    char line[96];
    for (const PatternHit& h : hits) {
        std::snprintf(line, sizeof line, "%lld 0x90 %d 100\n%lld 0x80 %d 0\n", (long long)h.frame, h.note,
                      (long long)(h.frame + h.length), h.note);
        text += line;
    }
    return text;
}

}  // namespace rimbrel::drums
