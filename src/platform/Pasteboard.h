#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace quillet {

// One entry of the clipboard: its types (MIME names) with their bytes, in the order offered.
using PasteboardItem = QList<QPair<QString, QByteArray>>;

// The desktop clipboard, the way insertion saves, writes and restores it. Main thread.
class Pasteboard {
public:
    // An empty entry under this type tells clipboard managers to skip the entry.
    static constexpr const char* transientType = "org.nspasteboard.TransientType";

    virtual ~Pasteboard() = default;

    virtual bool isAvailable() const = 0;
    // What the clipboard holds now, types whose data is absent left out; empty when it holds
    // nothing.
    virtual QList<PasteboardItem> items() = 0;
    virtual void clearContents() = 0;
    // Replaces the contents with plain text. A transient entry carries the markers that keep
    // clipboard managers and history tools from recording it.
    virtual void writeText(const QString& text, bool transient) = 0;
    // Replaces the contents with the given entries.
    virtual void writeItems(const QList<PasteboardItem>& items) = 0;
    // Goes up with every change of the contents, by anyone, this process included.
    virtual qint64 changeCount() const = 0;
};

} // namespace quillet
