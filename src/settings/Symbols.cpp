#include "settings/Symbols.h"

#include "store/ModeColor.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

#include <cmath>

namespace quillet {

namespace {

constexpr int kSize = 64;

const char* themeName(Symbols::Name name)
{
    switch (name) {
    case Symbols::Name::gear:
        return "preferences-system";
    case Symbols::Name::wand:
        return "tools-wizard";
    case Symbols::Name::book:
        return "accessories-dictionary";
    case Symbols::Name::clock:
        return "document-open-recent";
    case Symbols::Name::person:
        return "avatar-default";
    case Symbols::Name::chevronRight:
        return "go-next";
    case Symbols::Name::plus:
        return "list-add";
    case Symbols::Name::checkmark:
    case Symbols::Name::exclamation:
    case Symbols::Name::xmark:
        break;
    }
    return nullptr;
}

void filledCircle(QPainter& p, const QColor& fill)
{
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(QRectF(4, 4, kSize - 8, kSize - 8));
    p.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
}

void gear(QPainter& p)
{
    const QPointF c(kSize / 2.0, kSize / 2.0);
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        p.drawLine(c + QPointF(18 * std::cos(a), 18 * std::sin(a)),
                   c + QPointF(27 * std::cos(a), 27 * std::sin(a)));
    }
    p.drawEllipse(c, 17, 17);
    p.drawEllipse(c, 7, 7);
}

void paint(QPainter& p, Symbols::Name name)
{
    using N = Symbols::Name;
    switch (name) {
    case N::checkmark:
        filledCircle(p, Symbols::green());
        p.drawPolyline(QPolygonF({{19, 33}, {28, 42}, {45, 23}}));
        return;
    case N::exclamation:
        filledCircle(p, Symbols::orange());
        p.drawLine(QPointF(32, 17), QPointF(32, 36));
        p.drawPoint(QPointF(32, 46));
        return;
    case N::xmark:
        filledCircle(p, QColor(0x8E, 0x8E, 0x93));
        p.drawLine(QPointF(23, 23), QPointF(41, 41));
        p.drawLine(QPointF(41, 23), QPointF(23, 41));
        return;
    case N::chevronRight:
        p.drawPolyline(QPolygonF({{24, 14}, {42, 32}, {24, 50}}));
        return;
    case N::plus:
        p.drawLine(QPointF(32, 12), QPointF(32, 52));
        p.drawLine(QPointF(12, 32), QPointF(52, 32));
        return;
    case N::gear:
        gear(p);
        return;
    case N::wand:
        p.drawLine(QPointF(12, 52), QPointF(40, 24));
        p.drawLine(QPointF(46, 8), QPointF(46, 20));
        p.drawLine(QPointF(40, 14), QPointF(52, 14));
        p.drawLine(QPointF(22, 12), QPointF(22, 20));
        p.drawLine(QPointF(50, 38), QPointF(50, 46));
        return;
    case N::book:
        p.drawRoundedRect(QRectF(14, 8, 36, 48), 4, 4);
        p.drawLine(QPointF(22, 8), QPointF(22, 56));
        return;
    case N::clock:
        p.drawEllipse(QPointF(32, 32), 24, 24);
        p.drawPolyline(QPolygonF({{32, 16}, {32, 32}, {43, 39}}));
        return;
    case N::person: {
        p.drawEllipse(QPointF(32, 32), 26, 26);
        p.drawEllipse(QPointF(32, 25), 9, 9);
        QPainterPath body;
        body.moveTo(15, 50);
        body.cubicTo(20, 38, 44, 38, 49, 50);
        p.drawPath(body);
        return;
    }
    }
}

// The icons made so far, by symbol ("#" + number) or colour. Emptied while the application
// still exists, since an icon must not outlive it.
QHash<QString, QIcon>& made()
{
    static QHash<QString, QIcon> icons;
    static const bool cleared = [] {
        qAddPostRoutine([] { made().clear(); });
        return true;
    }();
    Q_UNUSED(cleared);
    return icons;
}

} // namespace

QIcon Symbols::icon(Name name)
{
    const QString key = u'#' + QString::number(static_cast<int>(name));
    auto found = made().constFind(key);
    if (found != made().cend())
        return *found;
    QIcon icon;
    if (const char* theme = themeName(name))
        icon = QIcon::fromTheme(QLatin1String(theme));
    if (icon.isNull())
        icon = drawn(name);
    return *made().insert(key, icon);
}

QIcon Symbols::dot(const QString& color)
{
    auto found = made().constFind(color);
    if (found != made().cend())
        return *found;
    return *made().insert(color, paintDot(color));
}

void Symbols::showStatus(QLabel* mark, bool ok)
{
    const int size = mark->fontMetrics().height();
    mark->setPixmap(icon(ok ? Name::checkmark : Name::exclamation).pixmap(size, size));
}

QIcon Symbols::paintDot(const QString& color)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(colorFromHex(color).rgb()));
    painter.drawEllipse(QRectF(7, 7, 18, 18));
    painter.end();
    return QIcon(pixmap);
}

QIcon Symbols::drawn(Name name)
{
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = QGuiApplication::palette().color(QPalette::WindowText);
    p.setPen(QPen(ink, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    paint(p, name);
    p.end();
    return QIcon(pixmap);
}

} // namespace quillet
