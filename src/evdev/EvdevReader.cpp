#include "evdev/EvdevReader.h"

#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace quillet {

namespace {

// X11 and xkbcommon number keys from 8, the kernel from 0.
constexpr int xkbOffset = 8;

} // namespace

struct EvdevReader::Device {
    QString id;
    int fd = -1;
    QSocketNotifier* notifier = nullptr;
    KeySet held;
    // The kernel lost events (its buffer overflowed): ignore the rest of the frame, then read
    // the keys' state afresh.
    bool dropping = false;
    QByteArray partial;
};

std::optional<EvdevReader::KeySet> EvdevReader::deviceKeyState(int fd)
{
    unsigned char bits[KEY_CNT / 8] = {};
    if (ioctl(fd, EVIOCGKEY(sizeof bits), bits) < 0)
        return std::nullopt;
    KeySet keys;
    for (int code = 0; code < KEY_CNT; ++code)
        keys[code] = (bits[code / 8] >> (code % 8)) & 1;
    return keys;
}

EvdevReader::EvdevReader(KeyStateReader readState, QObject* parent)
    : QObject(parent)
    , m_readState(std::move(readState))
{}

EvdevReader::~EvdevReader()
{
    for (const auto& device : std::as_const(m_devices)) {
        delete device->notifier;
        ::close(device->fd);
    }
}

void EvdevReader::addDevice(const QString& id, int fd)
{
    removeDevice(id);
    auto device = std::make_shared<Device>();
    device->id = id;
    device->fd = fd;
    if (const auto state = m_readState(fd)) {
        for (int code = 0; code < KEY_CNT; ++code) {
            if ((*state)[code]) {
                device->held[code] = true;
                if (++m_holders[code] == 1)
                    m_tracker.setHeld(code + xkbOffset, true);
            }
        }
    }
    device->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(device->notifier, &QSocketNotifier::activated, this, [this, id] { readDevice(id); });
    m_devices.insert(id, device);
    // Whatever was queued before the notifier existed.
    readDevice(id);
}

void EvdevReader::removeDevice(const QString& id)
{
    const std::shared_ptr<Device> device = m_devices.take(id);
    if (!device)
        return;
    // The notifier may be the one whose signal is being handled.
    device->notifier->setEnabled(false);
    device->notifier->deleteLater();
    ::close(device->fd);
    for (int code = 0; code < KEY_CNT; ++code) {
        if (device->held[code] && !release(*device, code))
            return;
    }
}

void EvdevReader::readDevice(const QString& id)
{
    const std::shared_ptr<Device> device = m_devices.value(id);
    if (!device)
        return;
    constexpr qsizetype record = sizeof(input_event);
    char buffer[64 * record];
    while (true) {
        const ssize_t n = ::read(device->fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            // End of file or ENODEV: the keyboard is gone.
            const QPointer<EvdevReader> self(this);
            removeDevice(id);
            if (self)
                emit deviceLost(id);
            return;
        }
        device->partial.append(buffer, n);
        qsizetype used = 0;
        for (; used + record <= device->partial.size(); used += record) {
            input_event ev;
            memcpy(&ev, device->partial.constData() + used, record);
            if (!handle(*device, ev.type, ev.code, ev.value))
                return;
            // A receiver may have removed this device.
            if (!m_devices.contains(id))
                return;
        }
        device->partial.remove(0, used);
    }
}

bool EvdevReader::handle(Device& device, quint16 type, quint16 code, qint32 value)
{
    if (type == EV_SYN) {
        if (code == SYN_DROPPED) {
            device.dropping = true;
        } else if (code == SYN_REPORT && device.dropping) {
            device.dropping = false;
            return resync(device);
        }
        return true;
    }
    if (device.dropping || type != EV_KEY || code >= KEY_CNT)
        return true;
    switch (value) {
    case 0:
        return release(device, code);
    case 1:
        return press(device, code);
    default:
        // Auto-repeat. A key we never saw go down (held when the device was added and its state
        // unreadable) is held from now on, silently, so that its release is not lost.
        if (!device.held[code]) {
            device.held[code] = true;
            if (++m_holders[code] == 1)
                m_tracker.setHeld(code + xkbOffset, true);
        }
        return true;
    }
}

bool EvdevReader::press(Device& device, int code)
{
    if (device.held[code])
        return true;
    device.held[code] = true;
    // Already held on another keyboard: the desktop sees one key, and so do we.
    if (++m_holders[code] > 1)
        return true;
    return emitEvent(m_tracker.press(code + xkbOffset, false));
}

bool EvdevReader::release(Device& device, int code)
{
    if (!device.held[code])
        return true;
    device.held[code] = false;
    if (--m_holders[code] > 0)
        return true;
    return emitEvent(m_tracker.release(code + xkbOffset));
}

bool EvdevReader::resync(Device& device)
{
    const auto state = m_readState(device.fd);
    if (!state)
        return true;
    for (int code = 0; code < KEY_CNT; ++code) {
        if (device.held[code] && !(*state)[code]) {
            if (!release(device, code))
                return false;
        } else if (!device.held[code] && (*state)[code]) {
            if (!press(device, code))
                return false;
        }
    }
    return true;
}

bool EvdevReader::emitEvent(const std::optional<KeyEvent>& event)
{
    if (!event)
        return true;
    const QPointer<EvdevReader> self(this);
    emit keyEvent(*event);
    return !self.isNull();
}

} // namespace quillet
