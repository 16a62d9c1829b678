#include "app/Commands.h"
#include "app/Engine.h"
#include "store/Store.h"

namespace quillet {

namespace {

const char* const kVocabUsage =
    "Usage: quillet vocab                      list terms and replacements\n"
    "       quillet vocab add TERM             add a term\n"
    "       quillet vocab replace FROM TO      replace FROM by TO (TO "
    "also becomes a term)\n"
    "       quillet vocab remove TERM-OR-FROM  remove a term or a "
    "replacement\n";

int usage(CommandEnv& env, const QString& problem)
{
    env.err << "quillet vocab: " << problem << "\n" << kVocabUsage;
    return 2;
}

void list(CommandEnv& env, const Vocabulary& v)
{
    if (v.terms.isEmpty()) {
        env.out << "Terms: none\n";
    } else {
        env.out << "Terms (" << v.terms.size() << "):\n";
        for (const QString& term : v.terms)
            env.out << "  " << term << "\n";
    }
    if (v.replacements.isEmpty()) {
        env.out << "Replacements: none\n";
    } else {
        env.out << "Replacements (" << v.replacements.size() << "):\n";
        for (const Replacement& r : v.replacements)
            env.out << "  " << r.from << " \u2192 " << r.to << "\n";
    }
}

bool sameText(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

int notSaved(CommandEnv& env, const QString& what, const QString& error)
{
    env.err << "quillet vocab: " << what << ": " << error << "\n";
    return 1;
}

} // namespace

QCoro::Task<int> runVocabCommand(CommandEnv env)
{
    QStringList args = env.args;
    const QString action = args.isEmpty() ? QString() : args.takeFirst();
    if (action == u"--help" || action == u"help") {
        env.out << kVocabUsage;
        co_return 0;
    }
    if (!action.isEmpty() && action != u"add" && action != u"replace" && action != u"remove")
        co_return usage(env, QStringLiteral("unknown action \"%1\"").arg(action));
    const qsizetype wanted = action.isEmpty() ? 0 : action == u"replace" ? 2 : 1;
    if (args.size() != wanted)
        co_return usage(env, action.isEmpty()
                                 ? QStringLiteral("listing takes no arguments")
                                 : QStringLiteral("\"%1\" takes %2 argument%3 (quote words with "
                                                  "spaces)")
                                       .arg(action)
                                       .arg(wanted)
                                       .arg(wanted == 1 ? "" : "s"));
    for (const QString& a : args)
        if (a.trimmed().isEmpty())
            co_return usage(env, QStringLiteral("an empty text is not a term"));

    Store& store = env.engine.store();
    int code = 0;
    if (action.isEmpty()) {
        list(env, store.vocab());
    } else if (action == u"add") {
        const QString term = args[0].trimmed();
        const auto changed = store.changeVocabulary([&](Vocabulary& v) {
            const Vocabulary before = v;
            v.addTerm(term);
            return v != before;
        });
        if (!changed)
            code = notSaved(env, QStringLiteral("\"%1\" was not added").arg(term), changed.error());
        else if (*changed)
            env.out << "Added \"" << term << "\"\n";
        else
            env.out << "\"" << term << "\" is already in the vocabulary\n";
    } else if (action == u"replace") {
        const QString from = args[0].trimmed();
        const QString to = args[1].trimmed();
        if (from == to)
            co_return usage(env, QStringLiteral("FROM and TO are the same"));
        const auto changed = store.changeVocabulary([&](Vocabulary& v) {
            const Vocabulary before = v;
            v.addReplacement(from, to);
            v.addTerm(to);
            return v != before;
        });
        if (!changed)
            code = notSaved(env, QStringLiteral("the replacement was not saved"), changed.error());
        else if (*changed)
            env.out << "Replacing \"" << from << "\" with \"" << to << "\"\n";
        else
            env.out << "\"" << from << "\" is already replaced with \"" << to << "\"\n";
    } else {
        const QString target = args[0].trimmed();
        qsizetype terms = 0;
        qsizetype replacements = 0;
        const auto changed = store.changeVocabulary([&](Vocabulary& v) {
            QSet<qsizetype> termPositions;
            for (qsizetype i = 0; i < v.terms.size(); ++i)
                if (sameText(v.terms[i].trimmed(), target))
                    termPositions.insert(i);
            QSet<qsizetype> replacementPositions;
            for (qsizetype i = 0; i < v.replacements.size(); ++i)
                if (sameText(v.replacements[i].from.trimmed(), target))
                    replacementPositions.insert(i);
            terms = termPositions.size();
            replacements = replacementPositions.size();
            v.removeTerms(termPositions);
            v.removeReplacements(replacementPositions);
            return terms + replacements > 0;
        });
        if (!changed) {
            code = notSaved(env, QStringLiteral("nothing was removed"), changed.error());
        } else if (terms + replacements == 0) {
            env.err << "quillet vocab: no term or replacement \"" << target << "\"\n";
            code = 1;
        } else {
            if (terms)
                env.out << "Removed the term \"" << target << "\"\n";
            if (replacements)
                env.out << "Removed the replacement of \"" << target << "\"\n";
        }
    }
    QCoro::Task<void> announced = env.engine.flushAnnouncements();
    co_await announced;
    co_return code;
}

} // namespace quillet
