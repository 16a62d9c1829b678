#include "app/CommandStore.h"

namespace quillet {

CommandStore::CommandStore(Preferences& prefs, Clock& clock, QTextStream& err)
    : m_store(Store::defaultDir(), prefs, clock, m_notifier, [&err](const QString& message) {
        err << "quillet: " << message << "\n";
        err.flush();
    })
{}

} // namespace quillet
