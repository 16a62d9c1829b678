#pragma once

#include "platform/SpellChecker.h"

#include <QHash>
#include <QString>

#include <mutex>

struct str_enchant_broker;
struct str_enchant_dict;

namespace quillet {

// Spell checking through Enchant-2; dictionaries are requested by bare language code and kept
// open for the life of the object.
class EnchantSpellChecker final : public SpellChecker {
public:
    EnchantSpellChecker();
    ~EnchantSpellChecker() override;
    EnchantSpellChecker(const EnchantSpellChecker&) = delete;
    EnchantSpellChecker& operator=(const EnchantSpellChecker&) = delete;

    bool accepts(QStringView text, const QString& language) const override;
    bool isAvailable() const override { return m_broker != nullptr; }

    // Whether Enchant has a dictionary for `language`.
    bool hasDictionary(const QString& language) const;

private:
    str_enchant_dict* dictionary(const QString& language) const;

    mutable std::mutex m_mutex;
    str_enchant_broker* m_broker = nullptr;
    mutable QHash<QString, str_enchant_dict*> m_dicts; // nullptr: no dictionary
};

} // namespace quillet
