#include "hud/HudModel.h"

#include "desktop/Dictation.h"

#include <utility>

namespace quillet {

void HudModel::setDictation(Dictation* dictation)
{
    if (m_dictation == dictation)
        return;
    m_dictation = dictation;
    emit dictationChanged();
}

void HudModel::setToast(const QString& text)
{
    if (std::exchange(m_toast, text) != text)
        emit toastChanged(text);
}

void HudModel::setLocked(bool locked)
{
    if (std::exchange(m_locked, locked) != locked)
        emit lockedChanged(locked);
}

} // namespace quillet
