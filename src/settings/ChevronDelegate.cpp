#include "settings/ChevronDelegate.h"

#include "settings/Symbols.h"

#include <QPainter>

namespace quillet {

void ChevronDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    const int size = option.fontMetrics.height() * 2 / 3;
    const QRect mark(option.rect.right() - size - 8, option.rect.center().y() - size / 2, size,
                     size);
    Symbols::icon(Symbols::Name::chevronRight).paint(painter, mark);
}

} // namespace quillet
