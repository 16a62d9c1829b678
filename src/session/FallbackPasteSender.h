#pragma once

#include "platform/PasteSender.h"

#include <QList>

namespace quillet {

// The first of several paste senders that works at the moment of pasting: a sender whose
// permission arrives later (a desktop that asks the user) takes over from a lesser one then.
class FallbackPasteSender final : public PasteSender {
public:
    static inline const QString pressToPasteMessage =
        QStringLiteral("Copied — press Ctrl+V to paste");

    // Best first; they must outlive this object.
    explicit FallbackPasteSender(QList<PasteSender*> candidates)
        : m_candidates(std::move(candidates))
    {}

    bool isAvailable() const override { return active() >= 0; }
    bool postPaste(bool terminal) override
    {
        const int i = active();
        return i >= 0 && m_candidates[i]->postPaste(terminal);
    }

    // On a desktop where nothing can type the paste shortcut, the user types it.
    QString copyOnlyMessage() const override { return pressToPasteMessage; }

    // The sender that would paste now, or -1.
    int active() const
    {
        for (int i = 0; i < m_candidates.size(); ++i) {
            if (m_candidates[i]->isAvailable())
                return i;
        }
        return -1;
    }

private:
    QList<PasteSender*> m_candidates;
};

} // namespace quillet
