#include "settings/KeyField.h"

#include "store/KeyStore.h"

namespace quillet {

KeyField::KeyField(KeyStore& keys, Clock& clock, QString account, QWidget* parent)
    : QLineEdit(parent)
    , m_keys(keys)
    , m_clock(clock)
    , m_account(std::move(account))
{
    setEchoMode(QLineEdit::Password);
    showStored();
    connect(this, &QLineEdit::textEdited, this, [this] {
        m_edited = true;
        m_idle = m_clock.singleShot(idleWrite, this, [this] { flush(); });
    });
    connect(this, &QLineEdit::editingFinished, this, &KeyField::flush);
    // Keys load from the keyring after start and may change elsewhere; typing is never
    // overwritten.
    connect(&keys, &KeyStore::keysChanged, this, [this] {
        if (!m_edited)
            showStored();
    });
}

KeyField::~KeyField()
{
    flush();
}

void KeyField::setAccount(const QString& account)
{
    flush();
    m_account = account;
    showStored();
}

void KeyField::flush()
{
    m_idle.cancel();
    if (!m_edited)
        return;
    m_edited = false;
    const QString typed = text();
    if (typed.trimmed() == m_keys.readKey(m_account).value_or(QString()))
        return;
    // The write goes on by itself; the store keeps the new key in memory at once.
    (void)m_keys.writeKey(typed, m_account);
}

void KeyField::showStored()
{
    const QString stored = m_keys.readKey(m_account).value_or(QString());
    if (text() != stored)
        setText(stored);
}

} // namespace quillet
