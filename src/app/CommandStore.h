#pragma once

#include "dbus/DBusChangeNotifier.h"
#include "store/Store.h"

#include <QCoroTask>
#include <QTextStream>

namespace quillet {

class Clock;
class Preferences;

// The store as a command-line command uses it: the user's data folder, the system clock and the
// session-bus announcements, so a change made here reaches a running Quillet like any other.
// Warnings about the data files (a damaged file kept aside, a missing sync folder) go to `err`.
class CommandStore {
public:
    CommandStore(Preferences& prefs, Clock& clock, QTextStream& err);

    Store& store() { return m_store; }
    // Waits until the announcements of this run's changes have left the process.
    QCoro::Task<void> flush() { return m_notifier.flush(); }

private:
    DBusChangeNotifier m_notifier;
    Store m_store;
};

} // namespace quillet
