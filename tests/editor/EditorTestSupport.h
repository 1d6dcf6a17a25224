// A plug-in instance with its window open on the headless platform, and
// what a user does to it.
#pragma once

#include <gtest/gtest.h>
#include <sndfile.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "editor/ADEditor.h"
#include "tests/KeyAudioSupport.h"
#include "platform/headless/HeadlessPlatform.h"
#include "instrument/TambletEdit.h"

namespace rimbrel::test {

using gui::headless::HeadlessEnvironment;
using gui::headless::HeadlessFrame;

inline VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// A scratch folder of its own for every test.
class TempDir {
public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("rimbrel-editor-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
                 std::to_string(::getpid()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A mono 16-bit WAV file of `frames` frames, every sample `value`.
inline void writeWav(const std::string& path, int frames, float value = 0.25f, int channels = 1) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    std::vector<float> data(std::size_t(frames) * channels, value);
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
}

inline void writeText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
}

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        effect = new TambletEdit(&quietHost);
        ASSERT_NE(effect, nullptr);
        editor = dynamic_cast<ADEditor*>(effect->getEditor());
        ASSERT_NE(editor, nullptr);
        openWindow();
    }
    void TearDown() override {
        if (editor) editor->close();
        delete effect;
    }

    void openWindow() {
        ASSERT_TRUE(editor->open(nullptr));
        ui = env.currentFrame();
        ASSERT_NE(ui, nullptr);
    }
    void reopenWindow() {
        editor->close();
        openWindow();
    }

    Kit& kit() { return effect->kit; }

    // Puts audio and a name into key k as a finished load would leave them.
    void fillKey(int k, int frames, const std::string& path, float value = 0.5f) {
        test::setKeyAudio(kit(), k, frames, value);
        std::snprintf(editor->keyNames[k], kKeyNameSize, "%s", path.c_str());
        editor->keyNamed(k);
        editor->keyLoaded(k);
    }

    // Where a user points at key k's name label (x: 0 left edge, 1 right).
    static double labelX(double fraction) { return 34 + fraction * 172; }
    static double labelY(int k) { return labelTop(k) + 9; }

    void clickLabel(int k, gui::CButtonState buttons = gui::kLButton, double fraction = 0.5) {
        ui->click(labelX(fraction), labelY(k), buttons);
    }
    // Left-clicks the mode switch at position m (0..kNumDisplayModes-1).
    void chooseMode(int m) {
        ui->click(geometry::modeIconMiddleX(m), geometry::modeIconMiddleY());
        ASSERT_EQ(editor->getDisplayMode(), m);
    }
    void clickExport(gui::CButtonState buttons = gui::kLButton) { ui->click(100, 85, buttons); }

    // The keys the audio thread would be asked to start at its next block.
    KeyMask takeAuditions() {
        const Kit::BlockStart start = kit().audioBlockBegin();
        kit().audioBlockEnd();
        return start.auditions;
    }

    std::string nameText(int k) { return editor->getNameLabel(k)->getText(); }
    std::string valueText(int k) { return editor->getValueLabel(k)->getText(); }
    std::string totalText() { return editor->getTotalLabel()->getText(); }

    HeadlessEnvironment env;
    TambletEdit* effect = nullptr;
    ADEditor* editor = nullptr;
    HeadlessFrame* ui = nullptr;
};

}  // namespace rimbrel::test
