#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

namespace quillet {

class Dictation;

// What the pill draws besides the dictation's own state: the dictation being shown, the message
// that replaces the pill's content for a moment, and the lock mark of a double tap. Main thread.
class HudModel : public QObject {
    Q_OBJECT
    Q_MOC_INCLUDE("desktop/Dictation.h")
    Q_PROPERTY(quillet::Dictation* dictation READ dictation NOTIFY dictationChanged)
    // Empty when no message is showing.
    Q_PROPERTY(QString toast READ toast NOTIFY toastChanged)
    Q_PROPERTY(bool locked READ locked WRITE setLocked NOTIFY lockedChanged)
public:
    using QObject::QObject;

    Dictation* dictation() const { return m_dictation; }
    void setDictation(Dictation* dictation);
    const QString& toast() const { return m_toast; }
    void setToast(const QString& text);
    bool locked() const { return m_locked; }
    void setLocked(bool locked);

signals:
    void dictationChanged();
    void toastChanged(const QString& text);
    void lockedChanged(bool locked);

private:
    QPointer<Dictation> m_dictation;
    QString m_toast;
    bool m_locked = false;
};

} // namespace quillet
