#pragma once

#include "platform/Pasteboard.h"

namespace quillet {

// A clipboard in memory. `contents` is what it holds; copyElsewhere() plays another
// application copying something.
class FakePasteboard final : public Pasteboard {
public:
    QList<PasteboardItem> contents;
    qint64 changes = 0;

    bool isAvailable() const override { return true; }
    QList<PasteboardItem> items() override { return contents; }
    void clearContents() override { set({}); }
    void writeText(const QString& text, bool transient) override
    {
        PasteboardItem item{{QStringLiteral("text/plain"), text.toUtf8()}};
        if (transient) {
            item.append({QLatin1String(transientType), QByteArray()});
            item.append({QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret")});
        }
        set({item});
    }
    void writeItems(const QList<PasteboardItem>& items) override { set(items); }
    qint64 changeCount() const override { return changes; }

    void copyElsewhere(const QList<PasteboardItem>& items) { set(items); }
    // The plain text it holds, if any.
    QString text() const
    {
        for (const PasteboardItem& item : contents) {
            for (const auto& [type, bytes] : item) {
                if (type == u"text/plain")
                    return QString::fromUtf8(bytes);
            }
        }
        return {};
    }
    bool isTransient() const
    {
        return !contents.isEmpty() &&
               contents.first().contains({QLatin1String(transientType), QByteArray()});
    }

private:
    void set(QList<PasteboardItem> items)
    {
        contents = std::move(items);
        ++changes;
    }
};

} // namespace quillet
