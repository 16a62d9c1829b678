#include "app/CommandStore.h"

namespace quillet {

CommandStore::CommandStore(Preferences& prefs, Clock& clock)
    : m_store(Store::defaultDir(), prefs, clock, m_notifier)
{}

} // namespace quillet
