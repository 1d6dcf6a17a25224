// Undo in the window: every kind of change put back exactly (audio, names,
// settings, labels), several steps, the memory bound, Ctrl+Z from the host
// and the window; key buttons held down and lit while their key sounds.
#include "EditorTestSupport.h"

#include <array>
#include <functional>
#include <memory>

namespace rimbrel::test {
namespace {

using gui::kAlt;
using gui::kControl;
using gui::kLButton;
using gui::kShift;

// Everything about the kit that undo must give back, and what the labels show.
struct KitCopy {
    std::array<std::vector<float>, kNumKeys> audio;
    std::array<std::string, kNumKeys> names, nameLabels, valueLabels;
    std::array<KeySettings, kNumKeys> settings;
    std::string total;
    bool operator==(const KitCopy&) const = default;
};

// The first difference between two copies, in words ("" when equal).
std::string differences(const KitCopy& a, const KitCopy& b) {
    for (int k = 0; k < kNumKeys; ++k) {
        const std::string key = "key " + std::to_string(k) + ": ";
        if (a.audio[k] != b.audio[k])
            return key + "audio of " + std::to_string(a.audio[k].size()) + " vs " +
                   std::to_string(b.audio[k].size()) + " frames";
        if (a.names[k] != b.names[k]) return key + "name " + a.names[k] + " vs " + b.names[k];
        if (a.nameLabels[k] != b.nameLabels[k]) return key + "label '" + a.nameLabels[k] + "' vs '" + b.nameLabels[k] + "'";
        if (a.valueLabels[k] != b.valueLabels[k]) return key + "value '" + a.valueLabels[k] + "' vs '" + b.valueLabels[k] + "'";
        if (!(a.settings[k] == b.settings[k])) return key + "settings";
    }
    return a.total == b.total ? "" : a.total + " vs " + b.total;
}

class EditorUndoTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        for (int k = 0; k < 6; ++k) {
            fillKey(k, 1000 + 100 * k, "/s/key" + std::to_string(k) + ".wav", 0.1f * float(k + 1));
            kit().keySamples[k][7] = -0.3f;  // not one constant: order matters
            effect->setParameter(kParamPitch + k, 0.1f * float(k));
            effect->setParameter(kParamVolume + k, 0.3f + 0.05f * float(k));
        }
        effect->setParameter(kParamPlayMode + 2, 1.0f);
        effect->setParameter(kParamReverse + 3, 1.0f);
    }
    KitCopy copy() {
        KitCopy c;
        for (int k = 0; k < kNumKeys; ++k) {
            c.audio[k].assign(kit().keySamples[k], kit().keySamples[k] + kit().keyLength[k]);
            c.names[k] = editor->keyNames[k];
            // An unnamed key shows two or four spaces, as it came about.
            c.nameLabels[k] = nameText(k);
            c.nameLabels[k].erase(c.nameLabels[k].find_last_not_of(' ') + 1);
            c.valueLabels[k] = valueText(k);
            c.settings[k] = readKeySettings(kit(), k);
        }
        c.total = totalText();
        return c;
    }
    bool ctrlZ(uint8_t modifier = gui::kModifierControl) {
        return ui->keyDown(gui::CKeyCode{'z', 0, modifier});
    }
    void altDrag(int from, int to) {
        ui->mouseDown(labelX(0.5), labelY(from), kLButton | kAlt);
        ui->mouseMove(labelX(0.5), labelY(to), kLButton | kAlt);
        ui->mouseUp(labelX(0.5), labelY(to), kLButton | kAlt);
    }
    TempDir dir;
};

TEST_F(EditorUndoTest, EachKindOfChangeIsPutBackExactly) {
    const KitCopy before = copy();
    writeWav(dir / "new.wav", 500, 0.9f);
    const std::vector<std::pair<std::string, std::function<void()>>> changes = {
        {"erase", [&] { clickLabel(3, kLButton | kControl); }},
        {"erase all", [&] { clickLabel(0, kLButton | kControl | kShift); }},
        {"exchange", [&] { altDrag(1, 4); }},
        {"exchange with an empty key", [&] { altDrag(2, 20); }},
        {"drop", [&] {
             auto* drag = gui::CItemDragContainer::fromPaths({dir / "new.wav", dir / "new.wav"});
             ui->dragEnter(drag, labelX(0.5), labelY(5));
             ui->drop(drag, labelX(0.5), labelY(5));
             drag->forget();
         }},
        {"value", [&] {
             chooseMode(ModeVolume);
             clickLabel(1, kLButton, 0.9);
             clickLabel(2, kLButton | kControl);
             chooseMode(ModeDuration);
         }},
    };
    for (const auto& [what, change] : changes) {
        change();
        ASSERT_NE(differences(copy(), before), "") << what;
        EXPECT_TRUE(ctrlZ()) << what;
        if (what == "value") {
            EXPECT_TRUE(ctrlZ()) << what;  // two clicks, two steps
        }
        EXPECT_EQ(differences(copy(), before), "") << what;
        EXPECT_FALSE(editor->canUndo()) << what;
    }
    // Nothing left to undo: the key is the host's.
    EXPECT_FALSE(ctrlZ());
}

TEST_F(EditorUndoTest, SeveralStepsGoBackNewestFirst) {
    const KitCopy start = copy();
    clickLabel(0, kLButton | kControl);
    const KitCopy afterErase = copy();
    altDrag(1, 2);
    const KitCopy afterExchange = copy();
    // A drag along a label is one step, however many values it passes.
    chooseMode(ModePitch);
    ui->mouseDown(labelX(0.1), labelY(3));
    for (double x = 0.1; x < 0.9; x += 0.1) ui->mouseMove(labelX(x), labelY(3), kLButton);
    ui->mouseUp(labelX(0.9), labelY(3));
    EXPECT_EQ(editor->getUndoHistory().stepCount(), 3u);
    // Undone in pitch mode: the bar and value follow the key put back.
    ASSERT_NE(readKeySettings(kit(), 3), afterExchange.settings[3]);
    EXPECT_TRUE(editor->undo());
    EXPECT_EQ(readKeySettings(kit(), 3), afterExchange.settings[3]);
    char shown[64] = {};
    effect->getParameterDisplay(kParamPitch + 3, shown);
    EXPECT_EQ(valueText(3), shown);
    EXPECT_FLOAT_EQ(editor->getNameLabel(3)->barValue, effect->getParameter(kParamPitch + 3));
    chooseMode(ModeDuration);
    EXPECT_TRUE(editor->undo());
    EXPECT_EQ(differences(copy(), afterErase), "");
    EXPECT_TRUE(editor->undo());
    EXPECT_EQ(differences(copy(), start), "");
    EXPECT_FALSE(editor->undo());
    // Other modifiers with Z are not undo, and erasing an empty key records nothing.
    clickLabel(10, kLButton | kControl);
    EXPECT_FALSE(editor->canUndo());
    clickLabel(0, kLButton | kControl);
    EXPECT_FALSE(ctrlZ(gui::kModifierControl | gui::kModifierShift));
    EXPECT_FALSE(ctrlZ(0));
    EXPECT_TRUE(editor->canUndo());
}

TEST_F(EditorUndoTest, HostKeyRequestUndoesAndAnswersWhetherItWasUsed) {
    clickLabel(4, kLButton | kControl);
    AEffect* record = effect->getAeffect();
    EXPECT_EQ(record->dispatcher(record, effEditKeyDown, 'z', 0, nullptr, float(gui::kModifierControl)), 1);
    EXPECT_EQ(kit().keyLength[4], 1400);
    EXPECT_EQ(nameText(4), " key4");
    EXPECT_EQ(record->dispatcher(record, effEditKeyDown, 'z', 0, nullptr, float(gui::kModifierControl)), 0);
}

TEST_F(EditorUndoTest, TheStatusLineOffersToUndoTheChangeItReports) {
    StatusLine* status = editor->getStatusLine();
    auto clickUndo = [&] {
        const gui::CRect r = status->actionRect();
        ui->mouseMove((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        ASSERT_EQ(status->shownActionLabel(), "Undo");
        ui->click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    };
    clickLabel(1, kLButton | kControl);
    EXPECT_EQ(status->getMessage(), "F#3 erased");
    clickUndo();
    EXPECT_EQ(kit().keyLength[1], 1100);
    altDrag(0, 23);
    EXPECT_EQ(status->getMessage(), "F3 and E5 exchanged");
    // A later change comes first: the offer no longer undoes the exchange.
    chooseMode(ModePitch);
    clickLabel(3, kLButton, 0.2);
    clickUndo();
    EXPECT_EQ(kit().keyLength[23], 1000);
    EXPECT_TRUE(ctrlZ());
    EXPECT_TRUE(ctrlZ());
    EXPECT_EQ(kit().keyLength[0], 1000);
}

TEST(UndoHistory, OldestStepsDropOffBeyondTheAudioBudget) {
    std::unique_ptr<Kit> kit(new Kit);
    KeyNames names{};
    for (int k = 0; k < 4; ++k) {
        test::setKeyAudio(*kit, k, 1000, float(k + 1));
    }
    UndoHistory history(2500 * sizeof(float));
    for (int k = 0; k < 4; ++k) history.recordKeys(*kit, names, keyBit(k));
    EXPECT_EQ(history.stepCount(), 2u);
    EXPECT_LE(history.audioBytes(), 2500 * sizeof(float));
    // Settings-only steps cost no audio and stay.
    history.recordSettings(0, KeySettings{});
    EXPECT_EQ(history.stepCount(), 3u);
    test::setKeyAudio(*kit, 3, 7, 0.0f);
    EXPECT_EQ(history.undo(*kit, names), keyBit(0));
    EXPECT_EQ(history.undo(*kit, names), keyBit(3));
    EXPECT_EQ(kit->keyLength[3], 1000);
    EXPECT_EQ(kit->keySamples[3][0], 4.0f);
    EXPECT_EQ(kit->keySamples[3][999], 4.0f);
    EXPECT_EQ(kit->keyRight[3], nullptr);
    EXPECT_EQ(history.undo(*kit, names), keyBit(2));
    EXPECT_EQ(history.undo(*kit, names), 0u);
}

// ---- key buttons: held down, and lit while their key sounds ----

TEST_F(EditorUndoTest, AKeyButtonHoldsItsKeyUntilReleasedAndLightsWhileItSounds) {
    const gui::CRect r = keyButtonRect(2);
    ui->mouseDown(r.left + 10, r.top + 10);
    Kit::BlockStart start = kit().audioBlockBegin();
    kit().audioBlockEnd();
    EXPECT_EQ(start.auditions, keyBit(2));
    EXPECT_EQ(start.held, keyBit(2));
    ui->mouseUp(r.left + 10, r.top + 10);
    EXPECT_EQ(takeAuditions(), 0u);
    EXPECT_EQ(kit().audioBlockBegin().held, 0u);
    kit().audioBlockEnd();

    // Each view is drawn clipped to itself: the light must lie on its button.
    for (int k = 0; k < kNumKeys; ++k) {
        const gui::CRect light = keyLightRect(k), button = keyButtonRect(k);
        EXPECT_TRUE(light.left >= button.left && light.right <= button.right && light.top >= button.top &&
                    light.bottom <= button.bottom)
            << k;
    }
    // The window lights what the audio thread says sounded, and darkens it after.
    const gui::CRect lit = keyButtonRect(5);
    ui->render();
    const gui::CColor dark = ui->pixel(int(lit.left) + 20, int(lit.top) + 20);
    kit().noteKeysSounded(keyBit(5));
    editor->timerRefresh();
    EXPECT_EQ(editor->getLitKeys(), keyBit(5));
    EXPECT_TRUE(editor->getKeyButton(5)->isSounding());
    ui->render();
    EXPECT_NE(ui->pixel(int(lit.left) + 20, int(lit.top) + 20), dark);
    editor->timerRefresh();
    EXPECT_EQ(editor->getLitKeys(), 0u);
    ui->render();
    EXPECT_EQ(ui->pixel(int(lit.left) + 20, int(lit.top) + 20), dark);
}

}  // namespace
}  // namespace rimbrel::test
