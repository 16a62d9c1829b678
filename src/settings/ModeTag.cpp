#include "settings/ModeTag.h"

#include "store/ModeColor.h"
#include "store/Style.h"

#include <QPainter>

namespace quillet {

ModeTag::ModeTag(const Style& style, QWidget* parent)
    : QLabel(style.name, parent)
    , m_color(colorFromHex(style.color).rgb())
{
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, m_color);
    setPalette(palette);
    QFont small = font();
    if (small.pointSizeF() > 0)
        small.setPointSizeF(small.pointSizeF() * 0.85);
    small.setBold(true);
    setFont(small);
    setContentsMargins(6, 1, 6, 1);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ModeTag::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor wash = m_color;
        wash.setAlpha(38);
        painter.setPen(Qt::NoPen);
        painter.setBrush(wash);
        painter.drawRoundedRect(QRectF(rect()), 4, 4);
    }
    QLabel::paintEvent(event);
}

} // namespace quillet
