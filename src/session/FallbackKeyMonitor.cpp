#include "session/FallbackKeyMonitor.h"

namespace quillet {

FallbackKeyMonitor::FallbackKeyMonitor(std::vector<std::unique_ptr<KeyMonitor>> candidates,
                                       QObject* parent)
    : KeyMonitor(parent)
    , m_candidates(std::move(candidates))
{
    for (int i = 0; i < int(m_candidates.size()); ++i) {
        KeyMonitor* c = m_candidates[size_t(i)].get();
        connect(c, &KeyMonitor::keyEvent, this, [this, i](const KeyEvent& event) {
            if (i == m_active)
                emit keyEvent(event);
        });
        connect(c, &KeyMonitor::availableChanged, this, [this, i] { candidateChanged(i); });
    }
}

FallbackKeyMonitor::~FallbackKeyMonitor() = default;

KeyMonitor* FallbackKeyMonitor::candidate(int index) const
{
    return index >= 0 && index < int(m_candidates.size()) ? m_candidates[size_t(index)].get()
                                                          : nullptr;
}

bool FallbackKeyMonitor::start()
{
    if (m_active >= 0)
        return true;
    return startFrom(0);
}

bool FallbackKeyMonitor::startFrom(int index)
{
    for (int i = index; i < int(m_candidates.size()); ++i) {
        if (m_candidates[size_t(i)]->start()) {
            m_active = i;
            return true;
        }
    }
    m_active = -1;
    return false;
}

bool FallbackKeyMonitor::isAvailable() const
{
    const KeyMonitor* c = candidate(m_active);
    return c && c->isAvailable();
}

void FallbackKeyMonitor::setPushToTalkKey(int keyCode)
{
    for (const auto& c : m_candidates)
        c->setPushToTalkKey(keyCode);
}

void FallbackKeyMonitor::candidateChanged(int index)
{
    if (index != m_active)
        return;
    // Set up or lost: lost means the next one's turn.
    if (!m_candidates[size_t(index)]->isAvailable())
        startFrom(index + 1);
    emit availableChanged();
}

} // namespace quillet
