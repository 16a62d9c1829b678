#include "settings/Section.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace quillet {

Section::Section(const QString& title, QWidget* parent)
    : QWidget(parent)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(4);
    if (!title.isEmpty()) {
        auto* heading = new QLabel(title, this);
        QFont font = heading->font();
        font.setBold(true);
        heading->setFont(font);
        outer->addWidget(heading);
    }
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setBackgroundRole(QPalette::Base);
    panel->setAutoFillBackground(true);
    m_rows = new QVBoxLayout(panel);
    m_rows->setContentsMargins(10, 8, 10, 8);
    m_rows->setSpacing(8);
    outer->addWidget(panel);
    m_footer = new QLabel(this);
    m_footer->setWordWrap(true);
    makeSecondary(m_footer);
    m_footer->hide();
    outer->addWidget(m_footer);
}

void Section::addRow(QWidget* widget)
{
    m_rows->addWidget(widget);
}

void Section::addRow(QLayout* layout)
{
    m_rows->addLayout(layout);
}

QLabel* Section::addRow(const QString& label, QWidget* field)
{
    auto* row = new QHBoxLayout;
    auto* name = new QLabel(label);
    name->setBuddy(field);
    field->setAccessibleName(label);
    row->addWidget(name);
    row->addStretch(1);
    row->addWidget(field);
    m_rows->addLayout(row);
    return name;
}

void Section::setFooter(const QString& text)
{
    m_footer->setText(text);
    m_footer->setVisible(!text.isEmpty());
}

void Section::makeSecondary(QLabel* label)
{
    QPalette palette = label->palette();
    const QColor secondary = palette.color(QPalette::PlaceholderText);
    // A label on a panel draws with the Text role, elsewhere with WindowText.
    palette.setColor(QPalette::WindowText, secondary);
    palette.setColor(QPalette::Text, secondary);
    label->setPalette(palette);
    QFont font = label->font();
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(font.pointSizeF() * 0.9);
        label->setFont(font);
    }
}

} // namespace quillet
