#pragma once

#include "platform/KeyEvent.h"

#include <QObject>

namespace quillet {

// Watches the whole desktop's keyboard without taking keys from anyone: every key that goes down
// anywhere, in any application including this one, and every change of the modifier keys.
// Auto-repeat never comes through. Lives and emits on the main thread.
class KeyMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts watching; false when this desktop does not let the keyboard be watched.
    virtual bool start() = 0;
    // Watching (start() succeeded and the connection is still up). A monitor whose set-up ends
    // later (a desktop service that answers or asks the user) announces it with availableChanged.
    virtual bool isAvailable() const = 0;
    // The push-to-talk key's code. The Menu key (63) is reported as a modifier only while it is
    // the push-to-talk key, so that it starts dictation instead of interrupting it.
    virtual void setPushToTalkKey(int keyCode) = 0;

signals:
    void keyEvent(const quillet::KeyEvent& event);
    void availableChanged();
};

} // namespace quillet
