// The work a text-processing run does besides waiting for the network: replacements on the
// transcript, the gate, the history pick and the prompt (6 recent results, 500 terms), then the
// replacements again on the reply. A 1,000-word text and 200 replacements.

#include "processing/TextProcessor.h"
#include "store/BuiltInModes.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSet>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

using namespace quillet;

namespace {

QString word(QRandomGenerator& random)
{
    static const QStringList syllables{"ka",  "lo", "mi",  "ren", "tu", "sa", "vel", "po",
                                       "dri", "ne", "sto", "quo", "ba", "fi", "gar"};
    QString w;
    const int n = 1 + random.bounded(3);
    for (int i = 0; i < n; ++i)
        w += syllables[random.bounded(syllables.size())];
    return w;
}

ProcessingInput makeInput(int present)
{
    QRandomGenerator random(42);
    ProcessingInput input;
    input.modeId = QStringLiteral("code");
    input.appName = QStringLiteral("Terminal");
    input.styles = builtInStyles();
    for (int i = 0; i < 500; ++i)
        input.vocabulary.terms << QStringLiteral("Term%1").arg(i) + word(random);
    QStringList words;
    for (int i = 0; i < 1000; ++i)
        words << word(random);
    // Replacements: `present` of them occur in the text (a quarter of those are two-word
    // phrases), the others are words the dictation does not contain.
    QSet<QString> seen;
    for (int i = 0; input.vocabulary.replacements.size() < present && i < 5000; ++i) {
        const int at = (i * 7) % 999;
        const QString from = i % 4 == 0 ? words[at] + u' ' + words[at + 1] : words[at];
        if (seen.contains(from.toLower()))
            continue;
        seen.insert(from.toLower());
        input.vocabulary.replacements.append({from, from.toUpper()});
    }
    for (int i = 0; input.vocabulary.replacements.size() < 200; ++i)
        input.vocabulary.replacements.append(
            {QStringLiteral("absent%1 ").arg(i) + word(random), QStringLiteral("Absent%1").arg(i)});
    input.transcript = words.join(u' ');
    // A full history: 500 entries over the four modes, newest first.
    const QStringList modes{"quillet", "code", "chat", "write", "prompt"};
    for (int i = 0; i < 500; ++i) {
        input.history << Entry{QUuid::createUuid(),
                               QDateTime::currentDateTimeUtc(),
                               QStringLiteral("raw"),
                               QStringLiteral("Result %1 ").arg(i) + words.mid(i, 40).join(u' '),
                               modes[i % modes.size()],
                               std::nullopt};
    }
    return input;
}

struct Figures {
    double median;
    double p90;
    double max;
};

Figures measure(int runs, const std::function<void()>& work)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back()};
}

void report(QTextStream& out, const char* title, const ProcessingInput& input)
{
    const QString reply = input.transcript; // a reply as long as the dictation
    const int runs = 200;
    qsizetype sink = 0;
    const Figures plan = measure(runs, [&] { sink += TextProcessor::plan(input).system.size(); });
    const Figures after =
        measure(runs, [&] { sink += input.vocabulary.applyReplacements(reply).size(); });
    const Figures whole = measure(runs, [&] {
        const ProcessingPlan p = TextProcessor::plan(input);
        sink += p.system.size() + input.vocabulary.applyReplacements(reply).size();
    });
    ProcessingInput noReplacements = input;
    noReplacements.vocabulary.replacements.clear();
    const Figures prompt =
        measure(runs, [&] { sink += TextProcessor::plan(noReplacements).system.size(); });

    out << title << ", " << runs << " runs, ms:\n";
    auto row = [&out](const char* name, const Figures& f) {
        out << "  " << qSetFieldWidth(36) << Qt::left << name << qSetFieldWidth(0) << "median "
            << QString::number(f.median, 'f', 3) << "  p90 " << QString::number(f.p90, 'f', 3)
            << "  max " << QString::number(f.max, 'f', 3) << '\n';
    };
    row("gate, history pick and prompt only", prompt);
    row("replacements + gate + prompt", plan);
    row("replacements on the reply", after);
    row("whole run (target <= 2 ms)", whole);
    out << "  system prompt " << TextProcessor::plan(input).system.toUtf8().size()
        << " bytes (checksum " << sink % 1000 << ")\n";
}

} // namespace

int main()
{
    QTextStream out(stdout);
    out << "text processing outside the network wait: 1,000-word text, 200 replacements, "
           "500 terms, 6 of 500 history entries\n";
    report(out, "typical: 20 of the 200 replacements occur", makeInput(20));
    report(out, "worst case: all 200 replacements occur", makeInput(200));
    return 0;
}
