#include "settings/ProcessingSection.h"

#include "store/Preferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpression>

namespace quillet {

namespace {

struct Language {
    const char* label;
    const char* code;
};

// The "Translate to" choices in the order offered; the first stores the empty code.
constexpr Language kTargets[] = {
    {"Off — keep what I speak", ""},
    {"English", "en"},
    {"Spanish", "es"},
    {"French", "fr"},
    {"German", "de"},
    {"Portuguese", "pt"},
    {"Italian", "it"},
    {"Japanese", "ja"},
    {"Chinese", "zh"},
};

} // namespace

ProcessingSection::ProcessingSection(Preferences& prefs, Clock& clock, QWidget* parent)
    : Section(QStringLiteral("Transcription"), parent)
    , m_prefs(prefs)
    , m_clock(clock)
{
    m_languages = new QLineEdit(prefs.languages().join(QStringLiteral(", ")), this);
    m_languages->setMinimumWidth(200);
    addRow(QStringLiteral("Languages you speak"), m_languages);
    connect(m_languages, &QLineEdit::textEdited, this, [this] {
        m_edited = true;
        m_pause = m_clock.singleShot(languagesPause, this, [this] { storeLanguages(); });
    });
    connect(m_languages, &QLineEdit::editingFinished, this, &ProcessingSection::storeLanguages);

    m_translate = new QComboBox(this);
    for (const Language& language : kTargets)
        m_translate->addItem(QString::fromUtf8(language.label), QString::fromLatin1(language.code));
    const QString target = prefs.translateTo().value_or(QString());
    int index = m_translate->findData(target);
    if (index < 0) {
        // A code set elsewhere (the command line, another copy) is shown rather than lost.
        m_translate->addItem(target, target);
        index = m_translate->count() - 1;
    }
    m_translate->setCurrentIndex(index);
    addRow(QStringLiteral("Translate to"), m_translate);
    connect(m_translate, &QComboBox::activated, this,
            [this](int i) { m_prefs.setTranslateTo(m_translate->itemData(i).toString()); });

    m_cleanup = new QCheckBox(QStringLiteral("Clean up filler words"), this);
    m_cleanup->setChecked(prefs.cleanup());
    addRow(m_cleanup);
    connect(m_cleanup, &QCheckBox::toggled, this, [this](bool on) { m_prefs.setCleanup(on); });

    setFooter(QStringLiteral("Mixed languages are transcribed as spoken. Language codes are hints, "
                             "e.g. en, es, fr."));
}

ProcessingSection::~ProcessingSection()
{
    storeLanguages();
}

void ProcessingSection::storeLanguages()
{
    if (!m_edited)
        return;
    m_edited = false;
    m_pause.cancel();
    const QStringList codes = parseLanguages(m_languages->text());
    // Input without a code must not wipe the list: the last good one stays.
    if (!codes.isEmpty())
        m_prefs.setLanguages(codes);
}

QStringList ProcessingSection::parseLanguages(const QString& text)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    QStringList codes;
    for (const QString& piece : text.split(separators, Qt::SkipEmptyParts)) {
        const QString code = piece.toLower();
        if (code.size() == 2)
            codes << code;
    }
    return codes;
}

} // namespace quillet
