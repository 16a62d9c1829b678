#pragma once

#include "store/Style.h"

#include <QDialog>

class QCheckBox;
class QColor;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quillet {

class Store;

// The mode editor, a sheet over the settings window. It edits a working copy of one mode and
// stores nothing until "Save".
class StyleEditor : public QDialog {
    Q_OBJECT
public:
    // `inList`: the mode is stored already (then it can be deleted).
    StyleEditor(Store& store, Style style, bool inList, QWidget* parent = nullptr);

    // A colour as a mode stores it: "#RRGGBB", upper-case hexadecimal, no alpha.
    static QString colorText(const QColor& color);

    // The working copy as edited so far.
    const Style& style() const { return m_style; }
    void setColor(const QColor& color);

    QLineEdit* nameField() const { return m_name; }
    QPushButton* colorButton() const { return m_color; }
    QCheckBox* fastToggle() const { return m_fast; }
    QCheckBox* historyToggle() const { return m_history; }
    QPlainTextEdit* instructionsEditor() const { return m_instructions; }
    // Null unless the mode is built in.
    QPushButton* resetButton() const { return m_reset; }
    // Null unless the mode is stored already.
    QPushButton* deleteButton() const { return m_delete; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    void showStyle();
    void pickColor();
    void resetToDefault();

    Store& m_store;
    Style m_style;
    QLineEdit* m_name;
    QPushButton* m_color;
    QCheckBox* m_fast;
    QCheckBox* m_history;
    QPlainTextEdit* m_instructions;
    QPushButton* m_reset = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_save;
    QPushButton* m_cancel;
};

} // namespace quillet
