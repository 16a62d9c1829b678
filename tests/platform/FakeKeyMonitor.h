#pragma once

#include "platform/KeyMonitor.h"

namespace quillet {

// A keyboard the test types on: keyDown() and flagsChanged() emit events as the real monitor
// would. `available = false` plays a desktop whose keyboard cannot be watched.
class FakeKeyMonitor final : public KeyMonitor {
    Q_OBJECT
public:
    bool available = true;
    bool started = false;
    int pushToTalkKey = 61;

    bool start() override
    {
        started = available;
        return started;
    }
    bool isAvailable() const override { return started; }
    void setPushToTalkKey(int keyCode) override { pushToTalkKey = keyCode; }

    void keyDown(int keyCode, quint64 flags = 0)
    {
        emit keyEvent({KeyEvent::Type::keyDown, keyCode, flags});
    }
    void flagsChanged(int keyCode, quint64 flags)
    {
        emit keyEvent({KeyEvent::Type::flagsChanged, keyCode, flags});
    }
};

} // namespace quillet
