#pragma once

#include "platform/KeyMonitor.h"

#include <memory>
#include <vector>

namespace quillet {

// The first of several key monitors that works: start() starts them in order of preference
// until one does, and when the one in use is lost (a desktop shortcut the user declined, a
// portal session that ends) the next takes over. Only the monitor in use is heard, so a key
// never arrives twice.
class FallbackKeyMonitor final : public KeyMonitor {
    Q_OBJECT
public:
    explicit FallbackKeyMonitor(std::vector<std::unique_ptr<KeyMonitor>> candidates,
                                QObject* parent = nullptr);
    ~FallbackKeyMonitor() override;

    // False when none starts.
    bool start() override;
    bool isAvailable() const override;
    void setPushToTalkKey(int keyCode) override;

    // The monitor in use (it may still be setting up), or -1 before start() or when none works.
    int activeIndex() const { return m_active; }
    KeyMonitor* candidate(int index) const;

private:
    bool startFrom(int index);
    void candidateChanged(int index);

    std::vector<std::unique_ptr<KeyMonitor>> m_candidates;
    int m_active = -1;
};

} // namespace quillet
