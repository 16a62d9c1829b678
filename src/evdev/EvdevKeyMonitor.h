#pragma once

#include "evdev/EvdevReader.h"
#include "platform/KeyMonitor.h"

#include <memory>

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace quillet {

// Watches every keyboard through the kernel's event devices (/dev/input/event*), whatever the
// display server: keyboards plugged in later are picked up through udev, unplugged ones let go of
// their keys. Never grabs a device. Needs read access to the devices: the `input` group, or an
// access rule for the seat's user.
class EvdevKeyMonitor final : public KeyMonitor {
    Q_OBJECT
public:
    explicit EvdevKeyMonitor(QObject* parent = nullptr);
    ~EvdevKeyMonitor() override;

    // False when no keyboard can be read.
    bool start() override;
    bool isAvailable() const override { return m_started; }
    void setPushToTalkKey(int keyCode) override { m_reader.setPushToTalkKey(keyCode); }

private:
    void open(const QString& node);
    void readHotplug();

    EvdevReader m_reader;
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_started = false;
};

} // namespace quillet
