#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace quillet {

class Section;
class Store;

// The Dictionary tab: the words Quillet should always get right and the replacements applied
// to every transcript, each with its entry row and a remove button per item. Every change goes
// through the store.
class VocabularyView : public QWidget {
    Q_OBJECT
public:
    explicit VocabularyView(Store& store, QWidget* parent = nullptr);

    QLineEdit* termField() const { return m_term; }
    QPushButton* addTermButton() const { return m_addTerm; }
    QLineEdit* heardField() const { return m_heard; }
    QLineEdit* writeField() const { return m_write; }
    QPushButton* addReplacementButton() const { return m_addReplacement; }
    // One row per term, one per replacement, in list order.
    QWidget* termRows() const { return m_termRows; }
    QWidget* replacementRows() const { return m_replacementRows; }

private:
    void addTerm();
    void addReplacement();
    void reload();
    QWidget* makeTermRows();
    QWidget* makeReplacementRows();

    Store& m_store;
    QLineEdit* m_term;
    QPushButton* m_addTerm;
    QLineEdit* m_heard;
    QLineEdit* m_write;
    QPushButton* m_addReplacement;
    Section* m_words;
    Section* m_rules;
    QWidget* m_termRows = nullptr;
    QWidget* m_replacementRows = nullptr;
};

} // namespace quillet
