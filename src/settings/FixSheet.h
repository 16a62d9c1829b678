#pragma once

#include "store/Entry.h"
#include "util/Clock.h"

#include <QDialog>
#include <QStringList>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quillet {

class Store;

// The history fix, a sheet over the settings window: the user corrects an entry's text; on
// "Save" the corrections are learned and the entry keeps the corrected text. When something
// was learned the sheet says so and closes a moment later.
class FixSheet : public QDialog {
    Q_OBJECT
public:
    // How long "Learned: …" stays up before the sheet closes.
    static constexpr double learnedCloseDelay = 0.9;

    FixSheet(Store& store, Clock& clock, Entry entry, QWidget* parent = nullptr);

    void save();

    const QStringList& learned() const { return m_learned; }
    QPlainTextEdit* editor() const { return m_editor; }
    QLabel* learnedLine() const { return m_learnedLine; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    Store& m_store;
    Clock& m_clock;
    Entry m_entry;
    QStringList m_learned;
    QPlainTextEdit* m_editor;
    QLabel* m_learnedLine;
    QPushButton* m_save;
    QPushButton* m_cancel;
    Timer m_close;
};

} // namespace quillet
