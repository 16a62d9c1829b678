#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quillet {

// One decoded response of the real-time speech service, with the tokens already filtered for
// the session's translation setting and the markers taken out.
struct SonioxResponse {
    // Present for an error response: "Soniox <code>: <message>".
    std::optional<QString> error;
    // Final and provisional text of this response's kept tokens, joined without separators.
    QString finals;
    QString tail;
    // Integer values of "final_audio_proc_ms" / "total_audio_proc_ms" when present.
    std::optional<qint64> finalMs;
    std::optional<qint64> totalMs;
    // A "<fin>" token was seen.
    bool fin = false;
    // "finished" was true.
    bool finished = false;

    // Nullopt when the bytes are not a JSON object (the response is then ignored).
    static std::optional<SonioxResponse> parse(const QByteArray& bytes, bool translate);
};

} // namespace quillet
