#pragma once

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace quillet {

class SecretBackend;

// The service keys: the speech key ("soniox") and one text-processing key per provider
// ("llm.cerebras", "llm.openai", "llm.custom"). They live in the desktop keyring and nowhere else;
// they are loaded once at start, cached in memory and written through. Without a keyring service,
// keys typed during the run live in memory only and status() says so; environment keys still work.
class KeyStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
public:
    static inline const QString service = QStringLiteral("com.fernwick.quillet");
    static inline const QString sonioxAccount = QStringLiteral("soniox");
    // Every account the store loads: the speech key and the three provider keys.
    static const QStringList& accounts();
    // The status while no keyring service answers.
    static inline const QString noKeyringStatus =
        QStringLiteral("No keyring service: keys typed here last only until Quillet quits");

    // `backend` is the keyring (not owned; must outlive the store).
    explicit KeyStore(SecretBackend& backend, QObject* parent = nullptr);
    ~KeyStore() override;

    // Reads every account from the keyring once; later calls return at once. Never throws.
    QCoro::Task<void> load();
    bool isLoaded() const;

    // The cached key; none when absent, empty or not loaded.
    std::optional<QString> readKey(const QString& account) const;
    // Trims the value; an empty or blank value deletes the key. Updates the cache at once and
    // writes through to the keyring. The account is held by value: the write goes on after the
    // caller's statement has ended.
    QCoro::Task<void> writeKey(std::optional<QString> value, QString account);

    // The environment variable if set (even empty), else the value compiled into the build.
    static std::optional<QString> builtInKey(const char* environmentName, const char* infoKey);
    // readKey("soniox") if usable, else the built-in key if usable.
    std::optional<QString> speechKey() const;
    // Not empty and free of control characters: a key goes into a request header, where a line
    // break would start a header of its own. Any other key counts as none.
    static bool isUsableKey(QStringView key);

    // Empty while the keyring works; otherwise a sentence for the settings window.
    QString status() const;

signals:
    void statusChanged();
    void keysChanged();
    // load() has finished (emitted once).
    void loadFinished();

private:
    void setStatus(const QString& status);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace quillet
