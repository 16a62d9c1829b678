#include "vocab/Learner.h"

#include "platform/SpellChecker.h"

namespace quillet::Learner {

QList<Correction> fieldCorrections(const QString&, const QString&, const SpellChecker&,
                                   const QStringList&)
{
    return {};
}
QList<Correction> fixCorrections(const QString&, const QString&)
{
    return {};
}

} // namespace quillet::Learner
