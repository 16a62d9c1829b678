#pragma once

#include "input/KeyTracker.h"
#include "platform/KeyEvent.h"

#include <QHash>
#include <QObject>

#include <array>
#include <bitset>
#include <functional>
#include <memory>
#include <optional>

namespace quillet {

// Reads the kernel's key events (struct input_event records) from keyboard event devices and
// reports them as the controller's key events. A key counts as held while any keyboard holds it,
// so two keyboards never press or release a key twice; a keyboard that goes away releases what it
// held. Never grabs a device: the desktop keeps receiving every key. Main thread.
class EvdevReader : public QObject {
    Q_OBJECT
public:
    // The kernel's key codes go up to KEY_MAX (0x2ff).
    using KeySet = std::bitset<0x300>;
    // Reads which keys a device holds right now (EVIOCGKEY); none when it cannot be asked.
    using KeyStateReader = std::function<std::optional<KeySet>(int fd)>;

    // The kernel's answer, through an ioctl on the device.
    static std::optional<KeySet> deviceKeyState(int fd);

    explicit EvdevReader(KeyStateReader readState = deviceKeyState, QObject* parent = nullptr);
    ~EvdevReader() override;

    // Reads `fd` (non-blocking, owned from now on) as the keyboard `id`. Keys it holds already
    // count as held without a press being reported.
    void addDevice(const QString& id, int fd);
    // Closes the device; the keys only it held are released.
    void removeDevice(const QString& id);
    bool hasDevice(const QString& id) const { return m_devices.contains(id); }
    qsizetype deviceCount() const { return m_devices.size(); }

    void setPushToTalkKey(int keyCode) { m_tracker.setPushToTalkKey(keyCode); }

signals:
    void keyEvent(const quillet::KeyEvent& event);
    // The device could not be read any more (unplugged, or its file was closed) and was removed.
    void deviceLost(const QString& id);

private:
    struct Device;

    void readDevice(const QString& id);
    // False when a receiver ended the reader.
    bool handle(Device& device, quint16 type, quint16 code, qint32 value);
    bool press(Device& device, int code);
    bool release(Device& device, int code);
    bool resync(Device& device);
    bool emitEvent(const std::optional<KeyEvent>& event);

    KeyStateReader m_readState;
    QHash<QString, std::shared_ptr<Device>> m_devices;
    // How many devices hold each key.
    std::array<quint8, 0x300> m_holders{};
    KeyTracker m_tracker;
};

} // namespace quillet
