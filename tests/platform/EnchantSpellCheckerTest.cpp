#include "enchant/EnchantSpellChecker.h"

#include "vocab/Learner.h"

#include <QTest>

using namespace quillet;

// Runs against the installed Enchant-2 with the Hunspell dictionaries for en, es and fr.
class EnchantSpellCheckerTest : public QObject {
    Q_OBJECT

    EnchantSpellChecker m_spelling;

private slots:
    void hasTheThreeDictionaries()
    {
        QVERIFY(m_spelling.isAvailable());
        for (const char* language : {"en", "es", "fr"})
            QVERIFY2(m_spelling.hasDictionary(QString::fromLatin1(language)), language);
        QVERIFY(!m_spelling.hasDictionary(QStringLiteral("zz")));
        QVERIFY(!m_spelling.hasDictionary(QString()));
    }

    void knowsEachLanguagesOwnWords()
    {
        QVERIFY(m_spelling.accepts(u"hello", QStringLiteral("en")));
        QVERIFY(m_spelling.accepts(u"hola", QStringLiteral("es")));
        QVERIFY(m_spelling.accepts(u"bonjour", QStringLiteral("fr")));
        QVERIFY(m_spelling.accepts(u"canción", QStringLiteral("es")));
        QVERIFY(m_spelling.accepts(u"don't", QStringLiteral("en")));
        QVERIFY(!m_spelling.accepts(u"hola", QStringLiteral("en")));
        QVERIFY(!m_spelling.accepts(u"bonjour", QStringLiteral("es")));
    }

    void doesNotKnowJargon()
    {
        for (const char* language : {"en", "es", "fr"}) {
            QVERIFY2(!m_spelling.accepts(u"Kubernetes", QString::fromLatin1(language)), language);
            QVERIFY(!m_spelling.accepts(u"hello kuberneties", QString::fromLatin1(language)));
        }
        QVERIFY(!m_spelling.accepts(u"hello", QStringLiteral("zz")));
    }

    void learnerAsksTheRealDictionaries()
    {
        const QStringList languages{"en", "es", "fr"};
        const auto learned = Learner::fieldCorrections(
            "deploy it to cuba netties tonight", "Notes: deploy it to Kubernetes tonight, thanks",
            m_spelling, languages);
        QCOMPARE(learned.size(), 1);
        QCOMPARE(learned.front().from, QStringLiteral("cuba netties"));
        QCOMPARE(learned.front().to, QStringLiteral("Kubernetes"));
        // One ordinary word for another is an edit, in any of the languages.
        QVERIFY(Learner::fieldCorrections("put it there please", "put it their please", m_spelling,
                                          languages)
                    .isEmpty());
        QVERIFY(Learner::fieldCorrections("dijo hola a todos", "dijo olla a todos", m_spelling,
                                          languages)
                    .isEmpty());
        // Capitals for emphasis, on words the dictionaries know in capitals too.
        QVERIFY(Learner::fieldCorrections("that is very nice ok", "that is VERY nice OK",
                                          m_spelling, languages)
                    .isEmpty());
    }

    void oddTextIsAnsweredWithoutTrouble()
    {
        QVERIFY(m_spelling.accepts(u"", QStringLiteral("en")));
        QVERIFY(m_spelling.accepts(u"2024", QStringLiteral("en")));
        const QString lone = QString(QChar(0xD800));
        QVERIFY(m_spelling.accepts(lone, QStringLiteral("en")));
        QVERIFY(m_spelling.accepts(QStringLiteral("hello ").repeated(2000), QStringLiteral("en")));
    }
};

QTEST_GUILESS_MAIN(EnchantSpellCheckerTest)
#include "EnchantSpellCheckerTest.moc"
