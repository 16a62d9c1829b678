#pragma once

#include "desktop/Hud.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace quillet {

// The HUD of a desktop without the floating pill: every toast and every error the dictation
// reports becomes one line on standard error.
class StderrHud final : public QObject, public Hud {
    Q_OBJECT
public:
    using Writer = std::function<void(const QString& line)>;

    // `write` receives each line without its line break; by default it goes to standard error.
    explicit StderrHud(Writer write = {}, QObject* parent = nullptr);

    void bind(Dictation* dictation) override;
    void toast(const QString& text) override;
    bool locked() const override { return m_locked; }
    void setLocked(bool locked) override { m_locked = locked; }

private:
    Writer m_write;
    QPointer<Dictation> m_dictation;
    bool m_locked = false;
    // The dictation's error as last written, so that the same text raised again as a toast at the
    // end of the dictation is not written twice.
    QString m_written;
};

} // namespace quillet
