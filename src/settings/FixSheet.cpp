#include "settings/FixSheet.h"

#include "store/Store.h"
#include "vocab/Learner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillet {

FixSheet::FixSheet(Store& store, Clock& clock, Entry entry, QWidget* parent)
    : QDialog(parent)
    , m_store(store)
    , m_clock(clock)
    , m_entry(std::move(entry))
{
    const QString title = QStringLiteral("Fix the words Quillet got wrong");
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    resize(460, 280);
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(title, this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);

    m_editor = new QPlainTextEdit(m_entry.text, this);
    m_editor->setAccessibleName(title);
    m_editor->setMinimumHeight(120);
    layout->addWidget(m_editor, 1);

    m_learnedLine = new QLabel(this);
    m_learnedLine->setWordWrap(true);
    m_learnedLine->hide();
    layout->addWidget(m_learnedLine);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(m_cancel);
    m_save = new QPushButton(QStringLiteral("Save"), this);
    m_save->setDefault(true);
    connect(m_save, &QPushButton::clicked, this, &FixSheet::save);
    buttons->addWidget(m_save);
    layout->addLayout(buttons);
}

void FixSheet::save()
{
    const QString fixed = m_editor->toPlainText();
    const auto learned = m_store.learn(Learner::fixCorrections(m_entry.text, fixed));
    m_learned = learned.ok() ? learned.value() : QStringList();
    Entry updated = m_entry;
    updated.text = fixed;
    (void)m_store.updateEntry(updated);
    if (m_learned.isEmpty()) {
        accept();
        return;
    }
    m_learnedLine->setText(QStringLiteral("Learned: ") + m_learned.join(QStringLiteral(", ")));
    m_learnedLine->show();
    // Saved already: the moment left is only for reading the line.
    m_save->setEnabled(false);
    m_editor->setReadOnly(true);
    m_close = m_clock.singleShot(learnedCloseDelay, this, [this] { accept(); });
}

} // namespace quillet
