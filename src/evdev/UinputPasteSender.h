#pragma once

#include "platform/PasteSender.h"

#include <functional>
#include <linux/input-event-codes.h>

struct libevdev_uinput;

namespace quillet {

// Posts the paste chord through a synthetic keyboard of the kernel's (/dev/uinput), which every
// display server reads like a real one. Keys are physical positions, so where the layout in use
// puts V is asked at every paste. The device is made once and kept for the run: a display server
// takes a moment to adopt a new keyboard.
class UinputPasteSender final : public PasteSender {
public:
    static constexpr const char* deviceName = "Quillet paste keyboard";

    // Kernel key codes of the keys that make the chord on the current layout.
    struct Keys {
        int control = KEY_LEFTCTRL;
        int shift = KEY_LEFTSHIFT;
        int v = KEY_V;
    };

    // `keys` empty: the positions of a US layout.
    explicit UinputPasteSender(std::function<Keys()> keys = {});
    ~UinputPasteSender() override;
    UinputPasteSender(const UinputPasteSender&) = delete;
    UinputPasteSender& operator=(const UinputPasteSender&) = delete;

    bool isAvailable() const override { return m_device != nullptr; }
    bool postPaste(bool terminal) override;

private:
    void key(int code, bool down);

    std::function<Keys()> m_keys;
    libevdev_uinput* m_device = nullptr;
};

} // namespace quillet
