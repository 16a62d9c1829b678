#pragma once

#include "input/KeyTracker.h"
#include "platform/KeyMonitor.h"
#include "x11/XConnection.h"

#include <memory>

class QSocketNotifier;

namespace quillet {

// Watches the keyboard through XInput2 raw key events on the root window of a connection of its
// own: every master device's keys, whoever has the focus, without grabbing anything.
class X11KeyMonitor final : public KeyMonitor {
    Q_OBJECT
public:
    // `displayName` empty: $DISPLAY.
    explicit X11KeyMonitor(const QByteArray& displayName = {}, QObject* parent = nullptr);
    ~X11KeyMonitor() override;

    bool start() override;
    bool isAvailable() const override;
    void setPushToTalkKey(int keyCode) override { m_tracker.setPushToTalkKey(keyCode); }

private:
    void readEvents();
    void refreshModifierMap();

    QByteArray m_displayName;
    std::unique_ptr<XConnection> m_x;
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_xiOpcode = 0;
    KeyTracker m_tracker;
};

} // namespace quillet
