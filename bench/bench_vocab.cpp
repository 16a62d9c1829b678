// Speed of the vocabulary rules and the learner on realistic sizes; prints medians.

#include "platform/SpellChecker.h"
#include "vocab/Learner.h"
#include "vocab/Vocabulary.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace quillet;

namespace {

class InstantSpellChecker final : public SpellChecker {
public:
    bool accepts(QStringView, const QString&) const override { return false; }
};

const QStringList kWords{
    "the",     "quick",  "brown", "fox",     "jumps",   "over",    "lazy",   "dog",    "we",
    "deploy",  "it",     "to",    "cluster", "tonight", "after",   "review", "of",     "code",
    "meeting", "notes",  "said",  "that",    "our",     "service", "should", "scale",  "when",
    "traffic", "grows",  "and",   "then",    "maybe",   "write",   "tests",  "for",    "every",
    "feature", "before", "merge", "please",  "send",    "email",   "with",   "report", "about",
    "budget",  "plan",   "next",  "quarter", "numbers", "look",    "good",   "today",  "thanks",
};

QString text(QRandomGenerator& random, int words)
{
    QStringList out;
    out.reserve(words);
    for (int i = 0; i < words; ++i) {
        QString w = kWords[random.bounded(int(kWords.size()))];
        // Some punctuation and capitals, as in dictated text.
        if (random.bounded(12) == 0)
            w += QLatin1Char(',');
        if (random.bounded(20) == 0)
            w[0] = w[0].toUpper();
        out.append(w);
    }
    return out.join(QLatin1Char(' '));
}

double medianMs(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    times.reserve(runs);
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

volatile qsizetype g_sink = 0;

} // namespace

int main()
{
    QRandomGenerator random(7);

    // applyReplacements: 200 replacements over a 1,000-word transcript.
    QList<Replacement> replacements;
    for (int i = 0; i < 200; ++i) {
        QString from = QStringLiteral("term%1").arg(i);
        if (i % 3 == 0)
            from = kWords[i % kWords.size()] + QStringLiteral(" thing%1").arg(i);
        if (i % 10 == 0)
            from = kWords[(i * 7) % kWords.size()]; // common words that really match
        replacements.append(Replacement{from, QStringLiteral("Replaced%1").arg(i)});
    }
    const QString transcript = text(random, 1000);
    QElapsedTimer cold;
    cold.start();
    g_sink = applyReplacements(replacements, transcript).size();
    const double coldMs = double(cold.nsecsElapsed()) / 1e6;
    const double applyMs =
        medianMs(51, [&] { g_sink = applyReplacements(replacements, transcript).size(); });
    std::printf("applyReplacements, 200 replacements, 1000 words, 20 of them occur: median "
                "%.3f ms (first call %.3f ms; target <= 2 ms)\n",
                applyMs, coldMs);

    // The worst case: every one of the 200 replacements occurs, once or a few times, and a
    // quarter of them are two-word phrases; the words share syllables, so a `from` is often
    // found inside longer words too. Once in plain letters, once with a syllable holding a
    // sharp s, whose folding is longer than itself.
    for (const QString& last : {QStringLiteral("gar"), QStringLiteral("\u00DFe")}) {
        const QStringList syllables{"ka",  "lo", "mi",  "ren", "tu", "sa", "vel", "po",
                                    "dri", "ne", "sto", "quo", "ba", "fi", last};
        QStringList words;
        for (int i = 0; i < 1000; ++i) {
            QString w;
            for (int n = 1 + random.bounded(3); n > 0; --n)
                w += syllables[random.bounded(int(syllables.size()))];
            if (random.bounded(20) == 0)
                w[0] = w[0].toUpper();
            words.append(w);
        }
        QList<Replacement> all;
        QStringList seen;
        for (int i = 0; all.size() < 200 && i < 5000; ++i) {
            const int at = (i * 7) % 999;
            const QString from =
                i % 4 == 0 ? words[at] + QLatin1Char(' ') + words[at + 1] : words[at];
            if (seen.contains(from.toLower()))
                continue;
            seen.append(from.toLower());
            all.append(Replacement{from, from.toUpper()});
        }
        const QString dense = words.join(QLatin1Char(' '));
        g_sink = applyReplacements(all, dense).size();
        const double denseMs =
            medianMs(101, [&] { g_sink = applyReplacements(all, dense).size(); });
        std::printf("applyReplacements, %lld replacements, 1000 words%s, all of them occur: "
                    "median %.3f ms (target <= 2 ms)\n",
                    static_cast<long long>(all.size()),
                    last == QStringLiteral("gar") ? "" : " with sharp s", denseMs);
    }

    // needsCleanup over 1,000 words with nothing to find (the whole text is scanned).
    QString clean;
    {
        QStringList words;
        for (int i = 0; i < 1000; ++i)
            words.append(kWords[(i * 7 + i / kWords.size()) % kWords.size()]);
        clean = words.join(QLatin1Char(' '));
    }
    if (needsCleanup(clean))
        std::printf("warning: the clean text needs cleanup\n");
    const double cleanupMs = medianMs(201, [&] { g_sink = needsCleanup(clean); });
    std::printf("needsCleanup, 1000 words: median %.4f ms (target <= 0.2 ms)\n", cleanupMs);

    // fieldCorrections: a 40-word insertion corrected inside a large field.
    const InstantSpellChecker spelling;
    const QStringList languages{"en", "es", "fr"};
    QStringList inserted = text(random, 40).split(QLatin1Char(' '));
    inserted[10] = QStringLiteral("cuba");
    inserted[11] = QStringLiteral("netties");
    QStringList corrected = inserted;
    corrected[10] = QStringLiteral("Kubernetes");
    corrected.removeAt(11);
    const QString insertedText = inserted.join(QLatin1Char(' '));
    for (int fieldWords : {20000, 30000}) {
        const QString field = text(random, fieldWords / 2) + QLatin1Char(' ') +
                              corrected.join(QLatin1Char(' ')) + QLatin1Char(' ') +
                              text(random, fieldWords / 2 - 40);
        const auto result = Learner::fieldCorrections(insertedText, field, spelling, languages);
        const double ms = medianMs(21, [&] {
            g_sink = Learner::fieldCorrections(insertedText, field, spelling, languages).size();
        });
        std::printf("fieldCorrections, 40 words in a %d-word field: median %.3f ms, %lld "
                    "correction(s) (target <= 15 ms)\n",
                    fieldWords, ms, static_cast<long long>(result.size()));
    }
    return 0;
}
