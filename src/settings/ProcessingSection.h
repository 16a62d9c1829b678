#pragma once

#include "settings/Section.h"
#include "util/Clock.h"

#include <QStringList>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace quillet {

class Preferences;

// The "Transcription" section of the General tab: the languages the user speaks, the translation
// target and the filler-word cleanup.
//
// The languages are stored once the typing pauses (or editing ends), not at every keystroke:
// a word on its way, "german", would otherwise leave its first two letters stored as a code.
class ProcessingSection : public Section {
    Q_OBJECT
public:
    static constexpr double languagesPause = 0.6;

    ProcessingSection(Preferences& prefs, Clock& clock, QWidget* parent = nullptr);
    ~ProcessingSection() override;

    // The codes of "Languages you speak": split at commas and spaces, lower-cased, only pieces of
    // exactly two characters kept. An empty list means nothing is stored.
    static QStringList parseLanguages(const QString& text);

    QLineEdit* languagesField() const { return m_languages; }
    QComboBox* translatePicker() const { return m_translate; }
    QCheckBox* cleanupToggle() const { return m_cleanup; }

private:
    void storeLanguages();

    Preferences& m_prefs;
    Clock& m_clock;
    bool m_edited = false;
    Timer m_pause;
    QLineEdit* m_languages;
    QComboBox* m_translate;
    QCheckBox* m_cleanup;
};

} // namespace quillet
