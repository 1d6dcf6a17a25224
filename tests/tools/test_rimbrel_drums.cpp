// The synthesised drum sounds: usable by the loader as they are, a kit of
// them fits the 12 s an Op-1 kit holds, and the groove is well formed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "tools/rimbrel-drums/DrumSynth.h"

namespace rimbrel::drums {
namespace {

double peakOf(const std::vector<float>& frames) {
    double peak = 0.0;
    for (float v : frames)
        peak = std::max(peak, double(std::fabs(v)));
    return peak;
}

// Sign changes per second: a rough measure of where a sound's energy lies.
double crossingsPerSecond(const std::vector<float>& frames) {
    int crossings = 0;
    for (size_t i = 1; i < frames.size(); ++i)
        crossings += (frames[i - 1] < 0.0f) != (frames[i] < 0.0f);
    return crossings * double(kSampleRate) / double(frames.size());
}

TEST(DrumSounds, AreFiniteStartAtOnceEndInSilenceAndStayBelowTheLoudestPeak) {
    const std::vector<DrumSound> kit = makeDrumKit();
    ASSERT_EQ(kit.size(), 9u);
    size_t totalFrames = 0;
    std::set<std::string> names;
    for (const DrumSound& d : kit) {
        SCOPED_TRACE(d.name);
        names.insert(d.name);
        ASSERT_GT(d.frames.size(), size_t(kSampleRate / 20));
        EXPECT_TRUE(std::all_of(d.frames.begin(), d.frames.end(), [](float v) { return std::isfinite(v); }));
        const double peak = peakOf(d.frames);
        EXPECT_LE(peak, kLoudestPeak + 1e-6);
        EXPECT_GT(peak, 0.2);
        // A drum hits at once: the first 5 ms already reach a third of the peak.
        const std::vector<float> attack(d.frames.begin(), d.frames.begin() + kSampleRate / 200);
        EXPECT_GT(peakOf(attack), peak / 3);
        EXPECT_EQ(d.frames.back(), 0.0f);
        totalFrames += d.frames.size();
    }
    EXPECT_EQ(names.size(), kit.size()) << "file names must differ";
    EXPECT_TRUE(std::is_sorted(kit.begin(), kit.end(),
                               [](const DrumSound& a, const DrumSound& b) { return a.name < b.name; }))
        << "a folder drop takes files by name: the order must be the keys' order";
    EXPECT_LT(totalFrames, size_t(12 * kSampleRate)) << "the whole set must fit one kit";
}

TEST(DrumSounds, SoundLikeTheirNames) {
    std::map<std::string, double> rate;
    for (const DrumSound& d : makeDrumKit())
        rate[d.name] = crossingsPerSecond(d.frames);
    EXPECT_LT(rate["01-kick"], 300);
    EXPECT_LT(rate["06-low-tom"], rate["07-high-tom"]);
    EXPECT_GT(rate["03-closed-hat"], 5000);
    EXPECT_GT(rate["03-closed-hat"], rate["02-snare"]);
    EXPECT_GT(rate["02-snare"], rate["01-kick"] * 4);
}

TEST(DrumSounds, AreTheSameOnEveryRun) {
    const std::vector<DrumSound> a = makeDrumKit(), b = makeDrumKit();
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_EQ(a[i].frames, b[i].frames) << a[i].name;
}

TEST(Groove, PlaysEveryKeyInOrderWithNotesThatEndBeforeTheNextHit) {
    const std::vector<PatternHit> hits = makeGroove(44100, 120.0);
    ASSERT_FALSE(hits.empty());
    std::set<int> notes;
    std::map<int, int64_t> lastEnd;
    for (const PatternHit& h : hits) {
        notes.insert(h.note);
        EXPECT_GE(h.frame, 44100);
        EXPECT_GT(h.length, 0);
        if (lastEnd.count(h.note)) {
            EXPECT_LE(lastEnd[h.note], h.frame) << "note " << h.note << " overlaps itself";
        }
        lastEnd[h.note] = h.frame + h.length;
    }
    EXPECT_EQ(notes, (std::set<int>{53, 54, 55, 56, 57, 58, 59, 60, 61}));
    EXPECT_TRUE(std::is_sorted(hits.begin(), hits.end(),
                               [](const PatternHit& a, const PatternHit& b) { return a.frame < b.frame; }));
    // Two bars of 4/4 at 120 bpm last 4 s.
    EXPECT_LT(hits.back().frame + hits.back().length, 44100 + 4 * 44100);

    const std::string text = grooveAsText(hits);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::ptrdiff_t(1 + 2 * hits.size()));
    EXPECT_NE(text.find("44100 0x90 53 100\n"), std::string::npos);
}

}  // namespace
}  // namespace rimbrel::drums
