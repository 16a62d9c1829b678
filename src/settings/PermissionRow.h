#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace quillet {

// One permission line: the title, the detail below it, and on the right a green check when the
// permission is there, else an orange mark and the "Open Settings" button. A note below the
// detail says what the button did when that needs saying.
class PermissionRow : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool ok READ isOk WRITE setOk NOTIFY okChanged)
public:
    PermissionRow(const QString& title, const QString& detail, QWidget* parent = nullptr);

    bool isOk() const { return m_ok; }
    void setOk(bool ok);
    // An empty text hides the note.
    void setNote(const QString& text);

    QPushButton* openButton() const { return m_open; }
    QLabel* statusMark() const { return m_mark; }
    QLabel* note() const { return m_note; }

signals:
    void okChanged(bool ok);
    void openSettingsClicked();

private:
    bool m_ok = false;
    QLabel* m_mark;
    QLabel* m_note;
    QPushButton* m_open;
};

} // namespace quillet
