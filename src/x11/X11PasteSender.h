#pragma once

#include "platform/PasteSender.h"
#include "x11/XConnection.h"

namespace quillet {

// Posts the paste chord with XTest on a connection of its own.
class X11PasteSender final : public PasteSender {
public:
    // `displayName` empty: $DISPLAY.
    explicit X11PasteSender(const QByteArray& displayName = {});

    bool isAvailable() const override { return m_available; }
    bool postPaste(bool terminal) override;

private:
    int keycodeFor(unsigned long keysym, int fallback) const;

    XConnection m_x;
    bool m_available = false;
};

} // namespace quillet
