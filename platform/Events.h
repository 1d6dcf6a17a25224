// Mouse and keyboard event types shared by views, the frame and platforms.
#pragma once

#include <cstdint>

namespace rimbrel::gui {

// Mouse buttons and modifier keys held during a mouse event.
enum CButton : int32_t {
    kLButton = 1 << 0,
    kMButton = 1 << 1,
    kRButton = 1 << 2,
    kShift = 1 << 3,
    kControl = 1 << 4,
    kAlt = 1 << 5,
    kApple = 1 << 6,  // the fourth modifier: Super / Windows key
};

inline constexpr int32_t kButtonMask = kLButton | kMButton | kRButton;
inline constexpr int32_t kModifierMask = kShift | kControl | kAlt | kApple;

class CButtonState {
public:
    constexpr CButtonState(int32_t s = 0) : state(s) {}
    constexpr int32_t getButtonState() const { return state; }
    constexpr int32_t getModifierState() const { return state & kModifierMask; }
    constexpr bool isLeftButton() const { return (state & kLButton) != 0; }
    constexpr bool isRightButton() const { return (state & kRButton) != 0; }
    constexpr bool anyButton() const { return (state & kButtonMask) != 0; }
    constexpr int32_t operator&(int32_t mask) const { return state & mask; }
    constexpr int32_t operator|(int32_t mask) const { return state | mask; }
    constexpr operator int32_t() const { return state; }
    constexpr bool operator==(const CButtonState& o) const { return state == o.state; }
    constexpr bool operator==(int32_t s) const { return state == s; }

private:
    int32_t state;
};

enum CMouseEventResult {
    kMouseEventNotImplemented = 0,
    kMouseEventHandled,
    kMouseEventNotHandled,
    // The press is consumed; the view wants no moves or release for it.
    kMouseDownEventHandledButDontNeedMovedOrUpEvents,
};

enum CCursorType {
    kCursorDefault = 0,
    kCursorWait,
    kCursorHSize,
    kCursorVSize,
    kCursorSizeAll,
    kCursorNESWSize,
    kCursorNWSESize,
    kCursorCopy,
    kCursorNotAllowed,
    kCursorHand,
};

// What a drop target would do with the items hovering over it.
enum class DragOperation {
    None = 0,  // refused
    Copy,
};

// Modifier bits of a key event.
enum CKeyModifier : uint8_t {
    kModifierShift = 1 << 0,
    kModifierAlternate = 1 << 1,
    kModifierCommand = 1 << 2,  // the Super / Windows key
    kModifierControl = 1 << 3,
};

// A key event as the host hands it over: character, virtual key, modifiers.
struct CKeyCode {
    int32_t character = 0;
    uint8_t virt = 0;
    uint8_t modifier = 0;
};

}  // namespace rimbrel::gui
