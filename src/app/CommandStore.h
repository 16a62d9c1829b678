#pragma once

#include "dbus/DBusChangeNotifier.h"
#include "store/Store.h"

#include <QCoroTask>

namespace quillet {

class Clock;
class Preferences;

// The store as a command-line command uses it: the user's data folder, the system clock and the
// session-bus announcement, so a change made here reaches a running Quillet like any other.
class CommandStore {
public:
    CommandStore(Preferences& prefs, Clock& clock);

    Store& store() { return m_store; }
    // Waits until the announcements of this run's changes have left the process.
    QCoro::Task<void> flush() { return m_notifier.flush(); }

private:
    DBusChangeNotifier m_notifier;
    Store m_store;
};

} // namespace quillet
