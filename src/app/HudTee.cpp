#include "app/HudTee.h"

namespace quillet {

HudTee::HudTee(std::unique_ptr<Hud> shown, std::unique_ptr<Hud> echo)
    : m_shown(std::move(shown))
    , m_echo(std::move(echo))
{}

HudTee::~HudTee() = default;

void HudTee::bind(Dictation* dictation)
{
    m_shown->bind(dictation);
    m_echo->bind(dictation);
}

void HudTee::toast(const QString& text)
{
    m_shown->toast(text);
    m_echo->toast(text);
}

void HudTee::setLocked(bool locked)
{
    m_shown->setLocked(locked);
    m_echo->setLocked(locked);
}

} // namespace quillet
