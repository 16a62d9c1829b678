#pragma once

#include <QStyledItemDelegate>

namespace quillet {

// Draws a list row as usual with a "chevron.right" at its right end: the row opens something.
class ChevronDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

} // namespace quillet
