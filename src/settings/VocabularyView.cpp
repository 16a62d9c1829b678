#include "settings/VocabularyView.h"

#include "settings/Section.h"
#include "settings/Symbols.h"
#include "store/Store.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillet {

namespace {

QToolButton* removeButton(QWidget* parent, const QString& name)
{
    auto* button = new QToolButton(parent);
    button->setIcon(Symbols::icon(Symbols::Name::xmark));
    button->setAutoRaise(true);
    button->setAccessibleName(name);
    button->setToolTip(name);
    return button;
}

QLabel* selectable(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* arrow(QWidget* parent)
{
    return new QLabel(QStringLiteral("→"), parent);
}

// Swaps the row container `old` for `fresh`. The old one may hold the button whose click is
// being handled, so it is deleted once that has returned.
void swapRows(Section* section, QWidget*& old, QWidget* fresh)
{
    if (old) {
        old->hide();
        old->setParent(nullptr);
        old->deleteLater();
    }
    old = fresh;
    section->addRow(fresh);
}

} // namespace

VocabularyView::VocabularyView(Store& store, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
{
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(16);

    m_words = new Section(QStringLiteral("Words"), this);
    auto* termEntry = new QHBoxLayout;
    m_term = new QLineEdit(this);
    m_term->setPlaceholderText(QStringLiteral("Add a word or name"));
    m_term->setAccessibleName(m_term->placeholderText());
    m_addTerm = new QPushButton(QStringLiteral("Add"), this);
    m_addTerm->setAccessibleDescription(QStringLiteral("Add the word"));
    termEntry->addWidget(m_term, 1);
    termEntry->addWidget(m_addTerm);
    m_words->addRow(termEntry);
    m_words->setFooter(QStringLiteral("Names, jargon and spellings Quillet should always get "
                                      "right. Sent to Soniox as context and protected during "
                                      "cleanup."));
    layout->addWidget(m_words);
    connect(m_term, &QLineEdit::returnPressed, this, &VocabularyView::addTerm);
    connect(m_addTerm, &QPushButton::clicked, this, &VocabularyView::addTerm);

    m_rules = new Section(QStringLiteral("Replacements"), this);
    auto* ruleEntry = new QHBoxLayout;
    m_heard = new QLineEdit(this);
    m_heard->setPlaceholderText(QStringLiteral("Heard"));
    m_heard->setAccessibleName(QStringLiteral("Heard"));
    m_write = new QLineEdit(this);
    m_write->setPlaceholderText(QStringLiteral("Write"));
    m_write->setAccessibleName(QStringLiteral("Write"));
    m_addReplacement = new QPushButton(QStringLiteral("Add"), this);
    m_addReplacement->setAccessibleDescription(QStringLiteral("Add the replacement"));
    ruleEntry->addWidget(m_heard, 1);
    ruleEntry->addWidget(arrow(this));
    ruleEntry->addWidget(m_write, 1);
    ruleEntry->addWidget(m_addReplacement);
    m_rules->addRow(ruleEntry);
    m_rules->setFooter(QStringLiteral("Applied to every transcript. Quillet also learns these when "
                                      "you fix a word it got wrong — in the text field itself or "
                                      "in History."));
    layout->addWidget(m_rules);
    layout->addStretch(1);
    connect(m_heard, &QLineEdit::returnPressed, this, &VocabularyView::addReplacement);
    connect(m_write, &QLineEdit::returnPressed, this, &VocabularyView::addReplacement);
    connect(m_addReplacement, &QPushButton::clicked, this, &VocabularyView::addReplacement);

    reload();
    connect(&store, &Store::vocabChanged, this, &VocabularyView::reload);
}

void VocabularyView::addTerm()
{
    // Blank and duplicate words are the vocabulary's to ignore.
    (void)m_store.addTerm(m_term->text());
    m_term->clear();
}

void VocabularyView::addReplacement()
{
    (void)m_store.addReplacement(m_heard->text(), m_write->text());
    m_heard->clear();
    m_write->clear();
}

void VocabularyView::reload()
{
    swapRows(m_words, m_termRows, makeTermRows());
    swapRows(m_rules, m_replacementRows, makeReplacementRows());
}

QWidget* VocabularyView::makeTermRows()
{
    auto* rows = new QWidget(this);
    auto* layout = new QVBoxLayout(rows);
    layout->setContentsMargins(0, 0, 0, 0);
    const QStringList& terms = m_store.vocab().terms;
    for (qsizetype i = 0; i < terms.size(); ++i) {
        auto* row = new QHBoxLayout;
        row->addWidget(selectable(terms[i], rows), 1);
        QToolButton* remove = removeButton(rows, QStringLiteral("Remove ") + terms[i]);
        connect(remove, &QToolButton::clicked, this, [this, i] { (void)m_store.removeTerms({i}); });
        row->addWidget(remove);
        layout->addLayout(row);
    }
    return rows;
}

QWidget* VocabularyView::makeReplacementRows()
{
    auto* rows = new QWidget(this);
    auto* layout = new QVBoxLayout(rows);
    layout->setContentsMargins(0, 0, 0, 0);
    const QList<Replacement>& rules = m_store.vocab().replacements;
    for (qsizetype i = 0; i < rules.size(); ++i) {
        auto* row = new QHBoxLayout;
        row->addWidget(selectable(rules[i].from, rows));
        row->addWidget(arrow(rows));
        row->addWidget(selectable(rules[i].to, rows), 1);
        QToolButton* remove = removeButton(rows, QStringLiteral("Remove rule ") + rules[i].from);
        connect(remove, &QToolButton::clicked, this,
                [this, i] { (void)m_store.removeReplacements({i}); });
        row->addWidget(remove);
        layout->addLayout(row);
    }
    return rows;
}

} // namespace quillet
