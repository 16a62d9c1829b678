#include "app/CommandStore.h"

#include "util/Clock.h"

namespace quillet {

CommandStore::CommandStore(Preferences& prefs)
    : m_store(Store::defaultDir(), prefs, SystemClock::instance(), m_notifier)
{}

} // namespace quillet
