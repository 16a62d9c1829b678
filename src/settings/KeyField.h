#pragma once

#include "util/Clock.h"

#include <QLineEdit>

namespace quillet {

class KeyStore;

// A secure field holding the key of one keyring account. Typing is coalesced: the key is written
// when editing finishes or after a pause of idleWrite seconds, never once per keystroke, and
// whatever is still pending is written when the field goes. An empty field removes the item.
class KeyField : public QLineEdit {
    Q_OBJECT
public:
    static constexpr double idleWrite = 1.0;

    KeyField(KeyStore& keys, Clock& clock, QString account, QWidget* parent = nullptr);
    ~KeyField() override;

    const QString& account() const { return m_account; }
    // Writes what is pending to the current account, then shows the key of `account`.
    void setAccount(const QString& account);
    // Writes the text now when it was edited and differs from the stored key.
    void flush();

private:
    void showStored();

    KeyStore& m_keys;
    Clock& m_clock;
    QString m_account;
    bool m_edited = false;
    Timer m_idle;
};

} // namespace quillet
