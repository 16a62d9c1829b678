#include "platform/EnchantSpellChecker.h"

namespace quillet {

EnchantSpellChecker::EnchantSpellChecker() = default;
EnchantSpellChecker::~EnchantSpellChecker() = default;
bool EnchantSpellChecker::accepts(QStringView, const QString&) const
{
    return false;
}
bool EnchantSpellChecker::hasDictionary(const QString&) const
{
    return false;
}
str_enchant_dict* EnchantSpellChecker::dictionary(const QString&) const
{
    return nullptr;
}

} // namespace quillet
