#include "util/Unicode.h"
#include "vocab/Vocabulary.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <map>
#include <memory>
#include <thread>
#include <unicode/regex.h>

using namespace quillet;

namespace {

QList<Replacement> pairs(std::initializer_list<std::pair<const char*, const char*>> list)
{
    QList<Replacement> out;
    for (const auto& [from, to] : list)
        out.append(Replacement{QString::fromUtf8(from), QString::fromUtf8(to)});
    return out;
}

icu::UnicodeString toIcu(const QString& s)
{
    return icu::UnicodeString(reinterpret_cast<const UChar*>(s.utf16()), int32_t(s.size()));
}

QString fromIcu(const icu::UnicodeString& s)
{
    return QString(reinterpret_cast<const QChar*>(s.getBuffer()), s.length());
}

// A plain reading of the rule: a fresh expression per replacement and ICU's own replacement
// with an escaped template, to hold the product's version against.
QString referenceApply(QList<Replacement> replacements, const QString& text)
{
    std::stable_sort(replacements.begin(), replacements.end(),
                     [](const Replacement& a, const Replacement& b) {
                         return unicode::graphemeCount(a.from) > unicode::graphemeCount(b.from);
                     });
    icu::UnicodeString current = toIcu(text);
    for (const Replacement& r : replacements) {
        QString escaped;
        for (QChar ch : r.from) {
            if (QStringView(u"\\*?+[(){}^$|./").contains(ch))
                escaped += QLatin1Char('\\');
            escaped += ch;
        }
        escaped.replace(QLatin1Char(' '), QLatin1String("\\s+"));
        const QString pattern =
            QLatin1String("(?<![\\p{L}\\p{N}])") + escaped + QLatin1String("(?![\\p{L}\\p{N}])");
        QString replacement = r.to;
        replacement.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        replacement.replace(QLatin1Char('$'), QLatin1String("\\$"));
        UErrorCode status = U_ZERO_ERROR;
        UParseError pe{};
        std::unique_ptr<icu::RegexPattern> compiled(
            icu::RegexPattern::compile(toIcu(pattern), UREGEX_CASE_INSENSITIVE, pe, status));
        if (U_FAILURE(status))
            continue;
        std::unique_ptr<icu::RegexMatcher> m(compiled->matcher(current, status));
        const icu::UnicodeString out = m->replaceAll(toIcu(replacement), status);
        if (U_SUCCESS(status))
            current = out;
    }
    return fromIcu(current);
}

bool referenceFind(const char16_t* pattern, const QString& text)
{
    static std::map<const char16_t*, std::unique_ptr<icu::RegexPattern>> compiled;
    UErrorCode status = U_ZERO_ERROR;
    auto& p = compiled[pattern];
    if (!p) {
        UParseError pe{};
        p.reset(icu::RegexPattern::compile(icu::UnicodeString(pattern), 0, pe, status));
    }
    const icu::UnicodeString input = toIcu(text);
    std::unique_ptr<icu::RegexMatcher> m(p->matcher(input, status));
    return m->find(status);
}

// The cleanup test read plainly: every key built, both expressions scanned over the whole text.
bool referenceNeedsCleanup(const QString& text)
{
    const QList<QStringView> words = unicode::splitWords(text);
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QString key = unicode::matchKey(words[i]);
        if (!key.isEmpty() && key == unicode::matchKey(words[i - 1]))
            return true;
    }
    return referenceFind(u"(?i), no,? ", text) ||
           referenceFind(
               u"(?i)(?<![\\p{L}])(um+|uh+|uhm|erm|hmm+|you know|i mean|like,|kind of "
               u"like|sort of|no wait|wait,|sorry,|scratch that|actually,|este|o sea|bueno,|"
               u"pues,|eh+|euh+|ben,|genre|enfin|en fait|no,? (?:perd[oó]n|espera))(?![\\p{L}])",
               text);
}

QString randomText(QRandomGenerator& random, const QStringList& alphabet, int maxPieces)
{
    QString out;
    const int n = random.bounded(maxPieces + 1);
    for (int i = 0; i < n; ++i)
        out += alphabet[random.bounded(int(alphabet.size()))];
    return out;
}

} // namespace

class TextRulesTest : public QObject {
    Q_OBJECT
private slots:
    void replacementsFollowTheWorkedExample()
    {
        const auto rules = pairs({{"open ai", "OpenAI"}, {"ai", "AI"}});
        QCOMPARE(applyReplacements(rules, u"we use Open  AI and ai-based tools"_qs),
                 QStringLiteral("we use OpenAI and AI-based tools"));
        // Stored the other way round, the longer one still runs first.
        const auto reversed = pairs({{"ai", "AI"}, {"open ai", "OpenAI"}});
        QCOMPARE(applyReplacements(reversed, u"open ai"_qs), QStringLiteral("OpenAI"));
        Vocabulary v;
        v.replacements = reversed;
        QCOMPARE(v.applyReplacements(u"Open\nAI, ai."_qs), QStringLiteral("OpenAI, AI."));
    }

    void replacementsMatchLiterallyAtLetterAndDigitBoundaries_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* from, const char* to, const char* text,
                            const char* expected) {
            QTest::newRow(name) << QString(from) << QString(to) << QString(text)
                                << QString(expected);
        };
        row("plus signs", "c++", "C++", "I like c++ a lot", "I like C++ a lot");
        row("dot is literal", "a.b", "X", "axb a.b", "axb X");
        row("other metacharacters", "(x|y)*", "z", "[(X|Y)*]", "[z]");
        row("backslash in from", "c:\\d", "D", "c:\\d", "D");
        row("dollar one literal", "price", "$1", "the price.", "the $1.");
        row("backslash literal", "dir", "a\\b\\0", "dir", "a\\b\\0");
        row("preceded by letter", "mail", "post", "Email", "Email");
        row("followed by digit", "mail", "post", "mail2", "mail2");
        row("in parentheses", "mail", "post", "(mail)", "(post)");
        row("underscore is a boundary", "mail", "post", "_mail_", "_post_");
        row("other scripts count as letters", "ai", "AI", "жai aiж ai", "жai aiж AI");
        row("case of match not carried", "teh", "the", "Teh TEH teh", "the the the");
        row("space matches line break", "new york", "New York", "new\nyork", "New York");
        row("space matches several", "new york", "NY", "new \t  york", "NY");
        row("space needs some white space", "new york", "NY", "newyork", "newyork");
        row("all occurrences", "uh", "", "uh, uh. uh", ", . ");
        row("full case folding", "strasse", "Straße", "STRAẞE", "Straße");
        row("empty text", "a", "b", "", "");
    }
    void replacementsMatchLiterallyAtLetterAndDigitBoundaries()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(applyReplacements({Replacement{from, to}}, text), expected);
    }

    void replacementsRunOnEachOthersOutput()
    {
        // Equal lengths keep their list order; a later rule sees what an earlier one wrote.
        QCOMPARE(applyReplacements(pairs({{"ab", "cd"}, {"cd", "ef"}}), u"ab"_qs),
                 QStringLiteral("ef"));
        QCOMPARE(applyReplacements(pairs({{"cd", "ef"}, {"ab", "cd"}}), u"ab"_qs),
                 QStringLiteral("cd"));
        QCOMPARE(applyReplacements({}, u"unchanged  text"_qs), QStringLiteral("unchanged  text"));
        // Longest counted in user-perceived characters: "e\u0301e\u0301" is two, "abc" three.
        QCOMPARE(applyReplacements(pairs({{"e\u0301e\u0301 x", "1"}, {"abc x", "2"}}), u"abc x"_qs),
                 QStringLiteral("2"));
    }

    void replacementsAgreeWithAFreshBuildOnRandomInput()
    {
        // Characters whose case folding is unusual exercise the quick rejection of rules.
        const QStringList alphabet{
            "a",      "A",      "i",      "I",       "\u0130", "\u0131", "s", "S",
            "\u00DF", "\u1E9E", "\u017F", "k",       "K",      "\u212A", "f", "\uFB00",
            "\u03C3", "\u03C2", "\u03A3", "e\u0301", "\u00E9", "1",      " ", "  ",
            "\n",     "-",      ".",      "$",       "\\",     "(",      "+", "\u01C5",
            "\u0345", "\t",     "#",      ")",       "\u0085", "\u2028"};
        QRandomGenerator random(20240611);
        int changed = 0;
        for (int round = 0; round < 250; ++round) {
            const QString text = randomText(random, alphabet, 30);
            QList<Replacement> rules;
            const int count = 1 + random.bounded(4);
            for (int i = 0; i < count; ++i) {
                QString from = randomText(random, alphabet, 3);
                // Mostly a piece of the text itself, in another case now and then.
                if (random.bounded(4) != 0 && !text.isEmpty()) {
                    const int start = random.bounded(int(text.size()));
                    from = text.mid(start, 1 + random.bounded(6));
                    if (random.bounded(3) == 0)
                        from = from.toUpper();
                }
                from = unicode::trimmed(from);
                if (!from.isEmpty())
                    rules.append(Replacement{from, randomText(random, alphabet, 2)});
            }
            const QString expected = referenceApply(rules, text);
            changed += expected != text;
            QCOMPARE(applyReplacements(rules, text), expected);
            QCOMPARE(applyReplacements(rules, text), expected); // now from kept patterns
        }
        QVERIFY2(changed > 60, qPrintable(QString::number(changed)));
    }

    void replacementsAgreeWithAFreshBuildWhenManyMatch()
    {
        // Words that fold in unusual ways (sharp s, dotted and dotless I, final sigma,
        // ligatures, a supplementary letter that folds, the Kelvin sign), combining marks that
        // can start or end a word, digits and letters of other scripts next to a match.
        const QStringList pieces{
            "ka",     "lo",      "mi",     "SS",     "\u00DF", "\u1E9E",     "i",          "I",
            "\u0130", "\u0131",  "\u03C3", "\u03C2", "\u03A3", "\uFB01",     "fi",         "FI",
            "\u0301", "e\u0301", "\u00E9", "7",      "\u0436", "\U00010400", "\U00010428", "\u212A",
            "k",      "\u1F88",  "\u1F80", "\u0345", "\u03B9", "\u0149",     "'n"};
        const QStringList gaps{" ", " ", " ", "  ", "\n", ", ", "-", ".", "\u00A0", "_"};
        QRandomGenerator random(77031);
        int changed = 0;
        for (int round = 0; round < 150; ++round) {
            QStringList words;
            const int count = 4 + random.bounded(40);
            for (int i = 0; i < count; ++i)
                words.append(randomText(random, pieces, 3));
            QString text;
            for (const QString& w : words)
                text += w + gaps[random.bounded(int(gaps.size()))];
            QList<Replacement> rules;
            const int ruleCount = 1 + random.bounded(16);
            for (int i = 0; i < ruleCount; ++i) {
                const int at = random.bounded(int(words.size()));
                QString from = words[at];
                if (random.bounded(4) == 0 && at + 1 < words.size())
                    from += QLatin1Char(' ') + words[at + 1];
                switch (random.bounded(4)) {
                case 0:
                    from = from.toUpper();
                    break;
                case 1:
                    from = from.toLower();
                    break;
                default:
                    break;
                }
                from = unicode::trimmed(from);
                if (from.isEmpty())
                    continue;
                // Some targets bring in characters that fold unusually, or half a surrogate
                // pair that joins its other half in the text.
                QString to = randomText(random, pieces, 2);
                if (random.bounded(10) == 0)
                    to += QChar(0xDC00 + random.bounded(0x400));
                if (random.bounded(10) == 0)
                    to.prepend(QChar(0xD800 + random.bounded(0x400)));
                rules.append(Replacement{from, to});
            }
            const QString expected = referenceApply(rules, text);
            changed += expected != text;
            QCOMPARE(applyReplacements(rules, text), expected);
        }
        QVERIFY2(changed > 100, qPrintable(QString::number(changed)));

        // Long texts where one `from` is found very often, mostly inside longer words.
        QString text;
        for (int i = 0; i < 400; ++i)
            text +=
                QStringList{"ka", "kaka", "Ka-ka", "aka", "ka7", "\u0436ka", "KA\u0301"}[i % 7] +
                QLatin1Char(' ');
        const auto rules = pairs({{"ka", "x"}, {"a", "b"}, {"ka ka", "y"}});
        QCOMPARE(applyReplacements(rules, text), referenceApply(rules, text));
    }

    void replacementsSurviveBadInput()
    {
        const QString lone = QString(QChar(0xDC00));
        const QString big = QStringLiteral("open ai ").repeated(128 * 1024);
        const auto rules = pairs({{"open ai", "OpenAI"}, {"", "never"}});
        QCOMPARE(applyReplacements(pairs({{"open ai", "OpenAI"}}), big),
                 QStringLiteral("OpenAI ").repeated(128 * 1024));
        QCOMPARE(applyReplacements({Replacement{lone, QStringLiteral("x")}}, lone + " " + lone),
                 QStringLiteral("x x"));
        QCOMPARE(applyReplacements({Replacement{QStringLiteral("a"), lone}}, u"a b"_qs),
                 lone + " b");
        // An empty `from` (possible only through a merged or decoded file) must not hang.
        QCOMPARE(applyReplacements(rules, u"open ai, x"_qs),
                 referenceApply(rules, u"open ai, x"_qs));
    }

    void needsCleanupDetectsRepeatsCorrectionsAndFillers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        for (const char* yes : {"so so",
                                "So, so",
                                "at 3, no, at 4",
                                "Um let's go",
                                "hmmm",
                                "o sea que sí",
                                "no, perdón",
                                "no espera",
                                "you know it",
                                "well, like, ok",
                                "sort of",
                                "scratch that",
                                "Actually, no",
                                "euh bon",
                                "en fait",
                                "eh",
                                "2um",
                                "genre tu vois",
                                "we met at 3, no 4",
                                "THE the",
                                "STRASSE strasse?",
                                "wait, what"}) {
            QTest::newRow(yes) << QString::fromUtf8(yes) << true;
        }
        for (const char* no :
             {"umbrella", "plum", "the theme", "Note: no changes", "", "— —", "no way", "I like it",
              "nowait", "waiting", "humm", "straße strasse", "genres", "3,no, 4", "ok", "  \n "}) {
            QTest::newRow(no) << QString::fromUtf8(no) << false;
        }
    }
    void needsCleanupDetectsRepeatsCorrectionsAndFillers()
    {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        QCOMPARE(needsCleanup(text), expected);
    }

    void needsCleanupAgreesWithAPlainReadingOnRandomInput()
    {
        const QStringList pieces{
            "um",     "UHH",    "Uhm",       "erm",     "hmm",    "you",       "know",  "I",
            "mean",   "like,",  "kind",      "of",      "sort",   "no",        "wait,", "Wait",
            "sorry,", "ſorry,", "\u212Aind", "scratch", "that",   "actually,", "este",  "o",
            "sea",    "bueno,", "pues,",     "eh",      "euh",    "ben,",      "genre", "enfin",
            "en",     "fait",   "perdón",    "espera",  "perdon", "a",         "b",     "é",
            "\u0345", "İ",      "ß",         "1",       "2",      "x",         ",",     ".",
            "—",      " ",      " ",         "  ",      "\n",     "\u00A0"};
        QRandomGenerator random(4242);
        int positives = 0;
        for (int round = 0; round < 3000; ++round) {
            QString text;
            const int n = 1 + random.bounded(8);
            for (int i = 0; i < n; ++i) {
                text += pieces[random.bounded(int(pieces.size()))];
                if (random.bounded(3) != 0)
                    text += QLatin1Char(' ');
            }
            const bool expected = referenceNeedsCleanup(text);
            positives += expected;
            QVERIFY2(needsCleanup(text) == expected, qPrintable(text));
        }
        QVERIFY(positives > 300 && positives < 2700);
    }

    void needsCleanupSurvivesBadInput()
    {
        const QString lone = QString(QChar(0xD83D));
        QVERIFY(!needsCleanup(lone + " a " + lone + "b"));
        QVERIFY(needsCleanup(lone + " " + lone));
        QString big;
        for (int i = 0; big.size() < 1024 * 1024; ++i)
            big += QStringLiteral("word%1 ").arg(i);
        QVERIFY(!needsCleanup(big));
        QVERIFY(needsCleanup(big + "uh"));
    }

    // Compiled expressions are shared between threads.
    void rulesGiveTheSameResultsOnManyThreads()
    {
        QList<Replacement> rules;
        for (int i = 0; i < 60; ++i)
            rules.append(Replacement{QStringLiteral("w%1 x").arg(i), QStringLiteral("W%1").arg(i)});
        QString text;
        for (int i = 0; i < 300; ++i)
            text += QStringLiteral("w%1 x ").arg(i % 90);
        const QString expected = referenceApply(rules, text);
        std::atomic<int> wrong = 0;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                for (int k = 0; k < 20; ++k) {
                    if (applyReplacements(rules, text) != expected ||
                        !needsCleanup(u"well um ok"_qs) || needsCleanup(u"umbrella plum"_qs))
                        ++wrong;
                }
            });
        }
        for (auto& thread : threads)
            thread.join();
        QCOMPARE(wrong.load(), 0);
    }

    void needsLeadingSpace_data()
    {
        QTest::addColumn<std::optional<QString>>("previous");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        const std::optional<QString> none;
        auto prev = [](const char* s) { return std::optional<QString>(QString::fromUtf8(s)); };
        QTest::newRow("empty text") << prev("a") << "" << false;
        QTest::newRow("no previous") << none << "Hello" << false;
        QTest::newRow("empty previous") << prev("") << "Hello" << false;
        QTest::newRow("after space") << prev(" ") << "Hello" << false;
        QTest::newRow("after line break") << prev("\n") << "Hello" << false;
        QTest::newRow("after no-break space") << prev("\u00A0") << "Hello" << false;
        QTest::newRow("text starts with space") << prev("a") << " Hello" << false;
        for (const char* closing : {".", ",", ";", ":", "!", "?", ")", "]", "}", "…", "%"})
            QTest::newRow(closing) << prev("a") << QString::fromUtf8(closing) + "x" << false;
        for (const char* opening :
             {"(", "[", "{", "¿", "¡", "/", "@", "#", "$", "\"", "'", "“", "‘", "-"})
            QTest::newRow(opening) << prev(opening) << "x" << false;
        QTest::newRow("after letter") << prev("a") << "Hello" << true;
        QTest::newRow("after digit") << prev("7") << "apples" << true;
        QTest::newRow("after full stop") << prev(".") << "Next" << true;
        QTest::newRow("after closing parenthesis") << prev(")") << "and" << true;
        QTest::newRow("after closing quote") << prev("”") << "and" << true;
        QTest::newRow("opening quote in text") << prev("a") << "“quoted”" << true;
        QTest::newRow("full stop with mark is another character")
            << prev("a") << ".\u0301x" << true;
        QTest::newRow("longer previous uses its last character") << prev("abc(") << "x" << false;
    }
    void needsLeadingSpace()
    {
        QFETCH(std::optional<QString>, previous);
        QFETCH(QString, text);
        QFETCH(bool, expected);
        QCOMPARE(quillet::needsLeadingSpace(previous, text), expected);
    }

    void needsLeadingSpaceSurvivesBadInput()
    {
        const QString lone = QString(QChar(0xDC00));
        QVERIFY(quillet::needsLeadingSpace(lone, lone));
        QVERIFY(!quillet::needsLeadingSpace(lone, u" "_qs));
        const QString big = QStringLiteral("a").repeated(1024 * 1024);
        QVERIFY(quillet::needsLeadingSpace(big, big));
    }
};

QTEST_GUILESS_MAIN(TextRulesTest)
#include "TextRulesTest.moc"
