#include "x11/QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace quillet {

namespace {

// Qt offers an image it decoded under this type beside the image's own; it is Qt's, not the
// owner's.
constexpr QLatin1String qtImageType("application/x-qt-image");

} // namespace

QtPasteboard::QtPasteboard(QObject* parent)
    : QObject(parent)
{
    if (!isAvailable())
        return;
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode m) {
        if (m == QClipboard::Clipboard)
            ++m_changeCount;
    });
}

bool QtPasteboard::isAvailable() const
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

QList<PasteboardItem> QtPasteboard::items()
{
    if (!isAvailable())
        return {};
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data)
        return {};
    PasteboardItem item;
    for (const QString& type : data->formats()) {
        // Only real MIME types: the rest are X selection targets Qt could not name.
        if (!type.contains(u'/') || type == qtImageType)
            continue;
        const QByteArray bytes = data->data(type);
        if (!bytes.isEmpty())
            item.append({type, bytes});
    }
    if (item.isEmpty())
        return {};
    return {item};
}

void QtPasteboard::clearContents()
{
    if (isAvailable())
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
}

void QtPasteboard::writeText(const QString& text, bool transient)
{
    if (!isAvailable())
        return;
    auto* data = new QMimeData;
    data->setText(text);
    if (transient) {
        data->setData(QLatin1String(transientType), QByteArray());
        // KDE's clipboard history skips entries with this hint.
        data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    }
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

void QtPasteboard::writeItems(const QList<PasteboardItem>& items)
{
    if (!isAvailable())
        return;
    // The X clipboard holds one entry: every item's types go into it, the first of a type wins.
    auto* data = new QMimeData;
    for (const PasteboardItem& item : items) {
        for (const auto& [type, bytes] : item) {
            if (!data->hasFormat(type))
                data->setData(type, bytes);
        }
    }
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

} // namespace quillet
