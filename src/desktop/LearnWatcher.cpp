#include "desktop/LearnWatcher.h"

#include "store/Preferences.h"
#include "store/Store.h"
#include "vocab/Learner.h"

namespace quillet {

LearnWatcher::LearnWatcher(Services services, Entry entry, ElementHandle element, OnLearn onLearn,
                           QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_entry(std::move(entry))
    , m_element(std::move(element))
    , m_onLearn(std::move(onLearn))
{
    m_timer = m_services.clock.singleShot(waits[0], this, [this] { read(); });
}

void LearnWatcher::cancel()
{
    if (m_timer.isActive())
        end();
}

void LearnWatcher::read()
{
    const std::optional<QString> field = m_services.accessibility.elementValue(m_element);
    if (!field) {
        end();
        return;
    }
    const QList<Learner::Correction> corrections = Learner::fieldCorrections(
        m_entry.text, *field, m_services.spelling, m_services.prefs.languages());
    if (!corrections.isEmpty()) {
        const Result<QStringList> learned = m_services.store.learn(corrections);
        if (learned && m_onLearn)
            m_onLearn(*learned);
        end();
        return;
    }
    if (++m_reads >= waits.size()) {
        end();
        return;
    }
    m_timer = m_services.clock.singleShot(waits[m_reads], this, [this] { read(); });
}

void LearnWatcher::end()
{
    m_timer.cancel();
    m_element.reset();
    emit ended();
}

} // namespace quillet
