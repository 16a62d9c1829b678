#include "evdev/KeyboardDevices.h"

#include "evdev/UinputPasteSender.h"

#include <libudev.h>
#include <unistd.h>

namespace quillet {

bool KeyboardDevices::isKeyboard(const char* node, const char* keyboardProperty, const char* name)
{
    return node && QByteArray(node).startsWith("/dev/input/event") && keyboardProperty &&
           QByteArray(keyboardProperty) == "1" &&
           QByteArray(name ? name : "") != UinputPasteSender::deviceName;
}

QList<KeyboardDevices::Device> KeyboardDevices::list()
{
    QList<Device> out;
    udev* u = udev_new();
    if (!u)
        return out;
    udev_enumerate* e = udev_enumerate_new(u);
    udev_enumerate_add_match_subsystem(e, "input");
    udev_enumerate_add_match_property(e, "ID_INPUT_KEYBOARD", "1");
    udev_enumerate_scan_devices(e);
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e))
    {
        udev_device* d = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
        if (!d)
            continue;
        const char* node = udev_device_get_devnode(d);
        // The name sits on the parent (inputN); the event node is its child.
        udev_device* parent = udev_device_get_parent(d);
        const char* name = parent ? udev_device_get_sysattr_value(parent, "name") : nullptr;
        if (isKeyboard(node, udev_device_get_property_value(d, "ID_INPUT_KEYBOARD"), name))
            out.append({QString::fromLocal8Bit(node), QString::fromUtf8(name ? name : ""),
                        ::access(node, R_OK) == 0});
        udev_device_unref(d);
    }
    udev_enumerate_unref(e);
    udev_unref(u);
    return out;
}

bool KeyboardDevices::uinputWritable()
{
    return ::access("/dev/uinput", W_OK) == 0;
}

} // namespace quillet
