#include "dbus/CommandKeyMonitor.h"

namespace quillet {

CommandKeyMonitor::CommandKeyMonitor(Clock& clock, QDBusConnection connection, QObject* parent)
    : KeyMonitor(parent)
    , m_clock(clock)
    , m_connection(std::move(connection))
{}

CommandKeyMonitor::~CommandKeyMonitor()
{
    if (m_registered)
        m_connection.unregisterObject(path);
}

bool CommandKeyMonitor::start()
{
    if (!m_registered && m_connection.isConnected())
        m_registered =
            m_connection.registerObject(path, this, QDBusConnection::ExportScriptableSlots);
    return m_registered;
}

void CommandKeyMonitor::setPushToTalkKey(int keyCode)
{
    // A key held under the old code is let go under it, as a real key's release would be.
    if (m_down)
        end();
    m_keyCode = keyCode;
}

void CommandKeyMonitor::begin()
{
    if (m_down)
        return;
    m_down = true;
    m_giveUp = m_clock.singleShot(maxHold, this, [this] { end(); });
    emit keyEvent({KeyEvent::Type::flagsChanged, m_keyCode, KeyEvent::pushToTalkFlag(m_keyCode)});
}

void CommandKeyMonitor::end()
{
    if (!m_down)
        return;
    m_down = false;
    m_giveUp.cancel();
    emit keyEvent({KeyEvent::Type::flagsChanged, m_keyCode, 0});
}

} // namespace quillet
