// Basic types of the toolkit: coordinates, reference-counted objects and
// the notification messages they exchange.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Geometry.h"  // CCoord

namespace rimbrel::gui {

enum CMessageResult {
    kMessageUnknown = 0,
    kMessageNotified = 1,
};

// Message texts sent through CBaseObject::notify. Receivers compare the
// pointer first and the text second, so both identity and content work.
extern const char* const kMsgTimer;                     // "timer fired"
extern const char* const kMsgNewFileSelectorSelectEnd;  // "CNewFileSelector Select End Message"

// True when `message` is the message `expected` (same pointer or same text).
bool isMessage(const char* message, const char* expected);

// Reference-counted base of every toolkit object. An object starts with one
// reference; forget() drops one and deletes the object when none is left.
class CBaseObject {
public:
    CBaseObject() = default;
    // A copy is a new object: it starts with its own single reference.
    CBaseObject(const CBaseObject&) : refCount(1) {}
    CBaseObject& operator=(const CBaseObject&) { return *this; }
    virtual ~CBaseObject() = default;

    void remember() { refCount.fetch_add(1, std::memory_order_relaxed); }
    void forget() {
        if (refCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete this;
    }
    int32_t getNbReference() const { return refCount.load(std::memory_order_relaxed); }

    virtual CMessageResult notify(CBaseObject* sender, const char* message) {
        return kMessageUnknown;
    }

private:
    std::atomic<int32_t> refCount{1};
};

}  // namespace rimbrel::gui
