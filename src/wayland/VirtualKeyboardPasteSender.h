#pragma once

#include "platform/PasteSender.h"

#include <QByteArray>
#include <QObject>

struct zwp_virtual_keyboard_v1;

namespace quillet {

class SeatKeymap;
class WaylandConnection;

// Posts the paste chord through a virtual keyboard of the compositor's (wlroots compositors such
// as sway). The keyboard carries the user's whole layout, not a minimal one: GTK 3 ignores keys
// from a keyboard whose keymap lacks the rest, and the focused window keeps this keyboard's
// layout until the user types again. One keyboard serves the whole run.
class VirtualKeyboardPasteSender final : public QObject, public PasteSender {
    Q_OBJECT
public:
    // Both must outlive the sender.
    VirtualKeyboardPasteSender(WaylandConnection& connection, SeatKeymap& keymap,
                               QObject* parent = nullptr);
    ~VirtualKeyboardPasteSender() override;

    bool isAvailable() const override;
    bool postPaste(bool terminal) override;

private:
    void uploadKeymap();

    WaylandConnection& m_connection;
    SeatKeymap& m_keymap;
    zwp_virtual_keyboard_v1* m_keyboard = nullptr;
    QByteArray m_uploaded;
};

} // namespace quillet
