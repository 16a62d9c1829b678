#pragma once

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

namespace quillet {

// The user's settings. Every getter reads the stored value on each call (nothing is cached here),
// and a value of the wrong type reads as the key's default. The argument domain ("-name value"
// pairs given on the command line) overrides the file for one run and is never written back.
class Preferences : public QObject {
    Q_OBJECT
public:
    // `filePath` is the INI file; `arguments` the argument domain.
    explicit Preferences(const QString& filePath = defaultPath(),
                         QHash<QString, QString> arguments = {}, QObject* parent = nullptr);
    ~Preferences() override;

    // $XDG_CONFIG_HOME/Quillet/Quillet.conf
    static QString defaultPath();

    // Removes the "-name value" pairs that come before any other word of `args` (the program name,
    // args[0], is kept) and returns them as an argument domain. The first "--option" word, lone
    // "-" or other word ends the pairs.
    static QHash<QString, QString> takeArgumentDomain(QStringList& args);

    // Raw access. value() looks in the argument domain first, then the file.
    QVariant value(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    // Sets a value in the argument domain only (for this run).
    void setArgument(const QString& key, const QString& value);

    // Typed reads with a default for a missing or wrongly typed value.
    QString string(const QString& key, const QString& fallback = {}) const;
    double number(const QString& key, double fallback) const;
    // A string that is absent, or present but empty, reads as nullopt.
    std::optional<QString> nonEmptyString(const QString& key) const;

    // The preferences of the product, each with its documented default.
    int hotkey() const; // the push-to-talk key's stored code; 61 unless one of 61 54 62 60 63 58
    double tailSeconds() const;
    bool autoUpdate() const;
    bool cleanup() const;
    QStringList languages() const;
    std::optional<QString> translateTo() const;
    int settingsTab() const;
    bool showSettings() const;
    bool selftest() const;
    bool selftestNoHUD() const;
    bool updateNow() const;
    std::optional<QString> verifyUpdate() const;
    QString sonioxEndpoint() const;
    QString sonioxModel() const;
    std::optional<QString> syncFolder() const;
    QStringList terminalApps() const;

    void setHotkey(int code) { setValue(QStringLiteral("hotkey"), code); }
    void setTailSeconds(double s) { setValue(QStringLiteral("tailSeconds"), s); }
    void setAutoUpdate(bool on) { setValue(QStringLiteral("autoUpdate"), on); }
    void setCleanup(bool on) { setValue(QStringLiteral("cleanup"), on); }
    void setLanguages(const QStringList& codes) { setValue(QStringLiteral("languages"), codes); }
    // Clearing writes the empty string.
    void setTranslateTo(const QString& code) { setValue(QStringLiteral("translateTo"), code); }
    void setSettingsTab(int tag) { setValue(QStringLiteral("settingsTab"), tag); }
    void setShowSettings(bool on) { setValue(QStringLiteral("showSettings"), on); }
    // Clearing (an empty text) removes the preference: no sync folder.
    void setSyncFolder(const QString& folder);

    static constexpr int defaultHotkey = 61;
    static constexpr double defaultTailSeconds = 0.3;
    static inline const QString defaultSonioxEndpoint =
        QStringLiteral("wss://stt-rt.soniox.com/transcribe-websocket");
    static inline const QString defaultSonioxModel = QStringLiteral("stt-rt-v5");

signals:
    void changed(const QString& key);

private:
    bool boolean(const QString& key, bool fallback) const;
    qint64 integer(const QString& key, qint64 fallback) const;
    // A list of strings; anything else (or a list holding non-strings) reads as `fallback`.
    QStringList stringList(const QString& key, const QStringList& fallback) const;
    QVariant fileValue(const QString& key) const;
    std::optional<QString> argument(const QString& key) const;

    mutable QMutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
    QHash<QString, QString> m_arguments;
};

} // namespace quillet
