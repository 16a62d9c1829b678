#include "evdev/UinputPasteSender.h"

#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

namespace quillet {

UinputPasteSender::UinputPasteSender(std::function<Keys()> keys)
    : m_keys(std::move(keys))
{
    const int fd = ::open("/dev/uinput", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return;
    libevdev* dev = libevdev_new();
    libevdev_set_name(dev, deviceName);
    libevdev_enable_event_type(dev, EV_KEY);
    // Every ordinary key: V may sit anywhere on the user's layout.
    for (unsigned code = KEY_ESC; code <= KEY_MICMUTE; ++code)
        libevdev_enable_event_code(dev, EV_KEY, code, nullptr);
    if (libevdev_uinput_create_from_device(dev, fd, &m_device) != 0) {
        m_device = nullptr;
        ::close(fd);
    }
    // The uinput device keeps what it needs; with a file we opened, closing it is ours.
    libevdev_free(dev);
}

UinputPasteSender::~UinputPasteSender()
{
    if (!m_device)
        return;
    const int fd = libevdev_uinput_get_fd(m_device);
    libevdev_uinput_destroy(m_device);
    ::close(fd);
}

void UinputPasteSender::key(int code, bool down)
{
    libevdev_uinput_write_event(m_device, EV_KEY, static_cast<unsigned>(code), down ? 1 : 0);
    libevdev_uinput_write_event(m_device, EV_SYN, SYN_REPORT, 0);
}

bool UinputPasteSender::postPaste(bool terminal)
{
    if (!m_device)
        return false;
    const Keys keys = m_keys ? m_keys() : Keys{};
    key(keys.control, true);
    if (terminal)
        key(keys.shift, true);
    key(keys.v, true);
    key(keys.v, false);
    if (terminal)
        key(keys.shift, false);
    key(keys.control, false);
    return true;
}

} // namespace quillet
