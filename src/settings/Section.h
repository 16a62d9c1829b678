#pragma once

#include <QWidget>

class QFormLayout;
class QLabel;
class QVBoxLayout;

namespace quillet {

// A titled group of settings as the tabs lay them out: the title, a framed panel of rows, and a
// footer of help text below it.
class Section : public QWidget {
    Q_OBJECT
public:
    // An empty title shows none.
    explicit Section(const QString& title, QWidget* parent = nullptr);

    // A row across the whole panel.
    void addRow(QWidget* widget);
    void addRow(QLayout* layout);
    // A labelled row: the label on the left, `field` on the right. The label becomes the
    // field's accessible name and buddy.
    QLabel* addRow(const QString& label, QWidget* field);
    // Sets the text below the panel; an empty text hides it.
    void setFooter(const QString& text);
    QLabel* footer() const { return m_footer; }

    // Help texts and captions: smaller, in the palette's secondary colour.
    static void makeSecondary(QLabel* label);

private:
    QVBoxLayout* m_rows;
    QLabel* m_footer;
};

} // namespace quillet
