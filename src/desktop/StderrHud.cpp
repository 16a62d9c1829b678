#include "desktop/StderrHud.h"

#include "desktop/Dictation.h"

#include <cstdio>

namespace quillet {

StderrHud::StderrHud(Writer write, QObject* parent)
    : QObject(parent)
    , m_write(std::move(write))
{
    if (!m_write) {
        m_write = [](const QString& line) {
            std::fprintf(stderr, "quillet: %s\n", line.toLocal8Bit().constData());
            std::fflush(stderr);
        };
    }
}

void StderrHud::bind(Dictation* dictation)
{
    if (m_dictation)
        disconnect(m_dictation, nullptr, this, nullptr);
    m_dictation = dictation;
    if (!dictation)
        return;
    connect(dictation, &Dictation::phaseChanged, this, [this](Dictation::Phase phase) {
        if (phase == Dictation::Phase::idle)
            m_locked = false;
        else if (phase == Dictation::Phase::recording)
            m_written.clear();
    });
    connect(dictation, &Dictation::errorChanged, this, [this](const QString& error) {
        if (error.isEmpty() || error == m_written)
            return;
        m_written = error;
        m_write(error);
    });
}

void StderrHud::toast(const QString& text)
{
    if (!m_written.isEmpty() && text == m_written)
        return;
    m_write(text);
}

} // namespace quillet
