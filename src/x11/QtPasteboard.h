#pragma once

#include "platform/Pasteboard.h"

#include <QObject>

namespace quillet {

// The desktop clipboard (not the primary selection) through the toolkit's clipboard; needs a
// QGuiApplication.
class QtPasteboard final : public QObject, public Pasteboard {
    Q_OBJECT
public:
    explicit QtPasteboard(QObject* parent = nullptr);

    bool isAvailable() const override;
    QList<PasteboardItem> items() override;
    void clearContents() override;
    void writeText(const QString& text, bool transient) override;
    void writeItems(const QList<PasteboardItem>& items) override;
    qint64 changeCount() const override { return m_changeCount; }

private:
    qint64 m_changeCount = 0;
};

} // namespace quillet
