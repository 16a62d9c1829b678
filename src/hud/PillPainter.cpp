#include "hud/PillPainter.h"

#include "hud/PillLayout.h"
#include "hud/PillText.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace quillet {

namespace {

QColor white(qreal opacity)
{
    QColor c(Qt::white);
    c.setAlphaF(float(opacity));
    return c;
}

void capsule(QPainter& painter, const QRectF& r)
{
    const qreal radius = std::min(r.width(), r.height()) / 2;
    painter.drawRoundedRect(r, radius, radius);
}

} // namespace

void PillPainter::paint(QPainter& painter, const PillLayout& layout, const QColor& tint,
                        int spinnerStep)
{
    if (layout.content == PillLayout::Content::nothing)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.82f));
    capsule(painter, layout.capsule);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(white(0.12), 1));
    capsule(painter, layout.capsule.adjusted(0.5, 0.5, -0.5, -0.5));

    const auto text = [&](const QRectF& box, const QString& s, const QFont& font, qreal opacity) {
        painter.setFont(font);
        painter.setPen(white(opacity));
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, s);
    };

    if (layout.content == PillLayout::Content::toast) {
        text(layout.label, layout.labelText, PillLayout::textFont(), 1);
        return;
    }

    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    capsule(painter, layout.tag);
    painter.setFont(PillLayout::tagFont());
    painter.setPen(Qt::white);
    painter.drawText(layout.tag, Qt::AlignCenter | Qt::TextSingleLine, layout.tagText);

    if (!layout.lock.isEmpty())
        paintLock(painter, layout.lock);

    if (layout.content == PillLayout::Content::processing) {
        paintSpinner(painter, layout.spinner, spinnerStep);
        text(layout.label, layout.labelText, PillLayout::textFont(), 1);
        return;
    }

    painter.setPen(Qt::NoPen);
    painter.setBrush(tint);
    for (const QRectF& bar : layout.bars)
        capsule(painter, bar);
    text(layout.status, layout.statusText, PillLayout::textFont(), 1);
    if (!layout.note.isEmpty())
        text(layout.note, pilltext::catchingUp, PillLayout::noteFont(), 0.55);
}

void PillPainter::paintLock(QPainter& painter, const QRectF& box)
{
    // A padlock: a rounded body over the lower half and an arched shackle above it.
    const QColor color = white(0.85);
    const QRectF body(box.left(), box.top() + box.height() * 0.45, box.width(),
                      box.height() * 0.55);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(body, 1.5, 1.5);

    const qreal stroke = 1.6;
    const qreal left = box.left() + box.width() * 0.2 + stroke / 2;
    const qreal radius = (box.right() - box.width() * 0.2 - stroke / 2 - left) / 2;
    const qreal top = box.top() + stroke / 2;
    QPainterPath shackle;
    shackle.moveTo(left, body.top());
    shackle.lineTo(left, top + radius);
    shackle.arcTo(QRectF(left, top, 2 * radius, 2 * radius), 180, -180);
    shackle.lineTo(left + 2 * radius, body.top());
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color, stroke, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    painter.drawPath(shackle);
}

void PillPainter::paintSpinner(QPainter& painter, const QRectF& box, int step)
{
    // Spokes around the centre; the leading one is brightest and the ones behind it fade.
    const QPointF centre = box.center();
    const qreal outer = box.width() / 2;
    const qreal inner = outer * 0.45;
    painter.save();
    painter.translate(centre);
    for (int i = 0; i < spinnerSpokes; ++i) {
        const int behind = (step - i + spinnerSpokes) % spinnerSpokes;
        painter.setPen(QPen(white(1.0 - 0.75 * behind / (spinnerSpokes - 1)), 1.6, Qt::SolidLine,
                            Qt::RoundCap));
        const qreal angle = 2 * M_PI * i / spinnerSpokes - M_PI / 2;
        painter.drawLine(QPointF(std::cos(angle) * inner, std::sin(angle) * inner),
                         QPointF(std::cos(angle) * outer * 0.9, std::sin(angle) * outer * 0.9));
    }
    painter.restore();
}

} // namespace quillet
