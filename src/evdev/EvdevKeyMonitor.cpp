#include "evdev/EvdevKeyMonitor.h"

#include "evdev/KeyboardDevices.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>

namespace quillet {

EvdevKeyMonitor::EvdevKeyMonitor(QObject* parent)
    : KeyMonitor(parent)
{
    connect(&m_reader, &EvdevReader::keyEvent, this, &KeyMonitor::keyEvent);
}

EvdevKeyMonitor::~EvdevKeyMonitor()
{
    m_notifier.reset();
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

bool EvdevKeyMonitor::start()
{
    if (m_started)
        return true;
    for (const KeyboardDevices::Device& device : KeyboardDevices::list()) {
        if (device.readable)
            open(device.node);
    }
    if (m_reader.deviceCount() == 0)
        return false;

    m_udev = udev_new();
    if (m_udev)
        m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (m_monitor) {
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "input", nullptr);
        if (udev_monitor_enable_receiving(m_monitor) == 0) {
            m_notifier = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(m_monitor),
                                                           QSocketNotifier::Read);
            connect(m_notifier.get(), &QSocketNotifier::activated, this,
                    &EvdevKeyMonitor::readHotplug);
        }
    }
    // Without hot-plug the keyboards there now still work.
    m_started = true;
    return true;
}

void EvdevKeyMonitor::open(const QString& node)
{
    const int fd = ::open(node.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0)
        m_reader.addDevice(node, fd);
}

void EvdevKeyMonitor::readHotplug()
{
    while (udev_device* d = udev_monitor_receive_device(m_monitor)) {
        const QByteArray action(udev_device_get_action(d) ? udev_device_get_action(d) : "");
        const char* node = udev_device_get_devnode(d);
        if (node && action == "remove") {
            m_reader.removeDevice(QString::fromLocal8Bit(node));
        } else if (action == "add") {
            udev_device* parent = udev_device_get_parent(d);
            const char* name = parent ? udev_device_get_sysattr_value(parent, "name") : nullptr;
            if (KeyboardDevices::isKeyboard(
                    node, udev_device_get_property_value(d, "ID_INPUT_KEYBOARD"), name))
                open(QString::fromLocal8Bit(node));
        }
        udev_device_unref(d);
    }
}

} // namespace quillet
