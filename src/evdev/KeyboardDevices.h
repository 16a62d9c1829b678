#pragma once

#include <QList>
#include <QString>

namespace quillet {

// The keyboards among the kernel's input devices, as udev knows them.
class KeyboardDevices {
public:
    struct Device {
        // /dev/input/eventN
        QString node;
        QString name;
        // This process may read it (the `input` group, or an access rule for the seat's user).
        bool readable = false;
    };

    // Every keyboard event device but our own synthetic one; empty without udev.
    static QList<Device> list();
    // Whether a udev device with these properties is a keyboard we watch.
    static bool isKeyboard(const char* node, const char* keyboardProperty, const char* name);
    // Synthetic input devices can be made (/dev/uinput writable).
    static bool uinputWritable();
};

} // namespace quillet
