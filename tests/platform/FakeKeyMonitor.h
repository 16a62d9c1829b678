#pragma once

#include "platform/KeyMonitor.h"

namespace quillet {

// A keyboard the test types on: keyDown() and flagsChanged() emit events as the real monitor
// would. `available = false` plays a desktop whose keyboard cannot be watched; `deferred` one
// that answers later (a desktop shortcut being bound), with settle().
class FakeKeyMonitor final : public KeyMonitor {
    Q_OBJECT
public:
    bool available = true;
    bool deferred = false;
    bool started = false;
    int startCalls = 0;
    int pushToTalkKey = 61;

    bool start() override
    {
        ++startCalls;
        if (deferred)
            return true;
        started = available;
        return started;
    }
    bool isAvailable() const override { return started; }
    // The deferred answer, or the monitor lost later (`works` false).
    void settle(bool works)
    {
        started = works;
        emit availableChanged();
    }
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
