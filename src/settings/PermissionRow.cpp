#include "settings/PermissionRow.h"

#include "settings/Section.h"
#include "settings/Symbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillet {

PermissionRow::PermissionRow(const QString& title, const QString& detail, QWidget* parent)
    : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    text->addWidget(new QLabel(title, this));
    auto* detailLabel = new QLabel(detail, this);
    detailLabel->setWordWrap(true);
    Section::makeSecondary(detailLabel);
    text->addWidget(detailLabel);
    m_note = new QLabel(this);
    m_note->setWordWrap(true);
    Section::makeSecondary(m_note);
    m_note->hide();
    text->addWidget(m_note);
    row->addLayout(text, 1);

    m_open = new QPushButton(QStringLiteral("Open Settings"), this);
    m_open->setAccessibleDescription(title);
    connect(m_open, &QPushButton::clicked, this, &PermissionRow::openSettingsClicked);
    row->addWidget(m_open);
    m_mark = new QLabel(this);
    row->addWidget(m_mark);
    // Starts as missing; setOk(false) would not repaint the first time.
    m_ok = true;
    setOk(false);
}

void PermissionRow::setOk(bool ok)
{
    if (m_ok == ok)
        return;
    m_ok = ok;
    Symbols::showStatus(m_mark, ok);
    m_mark->setAccessibleName(ok ? QStringLiteral("Allowed") : QStringLiteral("Not allowed"));
    m_open->setVisible(!ok);
    if (ok)
        setNote({});
    emit okChanged(ok);
}

void PermissionRow::setNote(const QString& text)
{
    m_note->setText(text);
    m_note->setVisible(!text.isEmpty());
}

} // namespace quillet
