#include "speech/SonioxResponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace quillet {

namespace {

// Responses arrive many times a second while the user talks, so they are read by a small strict
// JSON reader that validates the whole document but keeps only the fields used here. It accepts
// exactly what a conforming JSON parser accepts (RFC 8259, UTF-8), nesting up to a fixed depth.
class Reader {
public:
    Reader(const QByteArray& bytes, bool translate)
        : m_p(bytes.constData())
        , m_end(bytes.constData() + bytes.size())
        , m_translate(translate)
    {}

    std::optional<SonioxResponse> read()
    {
        SonioxResponse response;
        skipSpace();
        if (!readTopLevel(response))
            return std::nullopt;
        skipSpace();
        if (m_p != m_end)
            return std::nullopt;
        if (m_errorCode) {
            SonioxResponse error;
            error.error = QStringLiteral("Soniox ") + printed(*m_errorCode) + QStringLiteral(": ") +
                          (m_errorMessage ? printed(*m_errorMessage) : QString());
            return error;
        }
        return response;
    }

private:
    static constexpr int kMaxDepth = 1024;

    using Slice = std::string_view;

    void skipSpace()
    {
        while (m_p != m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }
    bool consume(char c)
    {
        skipSpace();
        if (m_p == m_end || *m_p != c)
            return false;
        ++m_p;
        return true;
    }
    bool peek(char c)
    {
        skipSpace();
        return m_p != m_end && *m_p == c;
    }
    bool literal(const char* word)
    {
        const size_t n = std::strlen(word);
        if (static_cast<size_t>(m_end - m_p) < n || std::memcmp(m_p, word, n) != 0)
            return false;
        m_p += n;
        return true;
    }

    // One UTF-8 sequence starting at a byte >= 0x80; false when malformed.
    bool skipUtf8()
    {
        const auto b0 = static_cast<unsigned char>(*m_p);
        int length = 0;
        char32_t min = 0;
        char32_t code = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            length = 2;
            code = b0 & 0x1F;
            min = 0x80;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            length = 3;
            code = b0 & 0x0F;
            min = 0x800;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            length = 4;
            code = b0 & 0x07;
            min = 0x10000;
        } else {
            return false;
        }
        if (m_end - m_p < length)
            return false;
        for (int i = 1; i < length; ++i) {
            const auto b = static_cast<unsigned char>(m_p[i]);
            if ((b & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (b & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        m_p += length;
        return true;
    }

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    // A string at the cursor (the opening quote). `raw` receives the bytes between the quotes;
    // `escaped` tells whether they contain escapes (then decode() gives the text).
    bool readString(Slice& raw, bool& escaped)
    {
        if (m_p == m_end || *m_p != '"')
            return false;
        ++m_p;
        const char* begin = m_p;
        escaped = false;
        while (m_p != m_end) {
            const auto c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                raw = Slice(begin, static_cast<size_t>(m_p - begin));
                ++m_p;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c == '\\') {
                escaped = true;
                if (++m_p == m_end)
                    return false;
                switch (*m_p) {
                case '"':
                case '\\':
                case '/':
                case 'b':
                case 'f':
                case 'n':
                case 'r':
                case 't':
                    ++m_p;
                    break;
                case 'u':
                    if (m_end - m_p < 5)
                        return false;
                    for (int i = 1; i <= 4; ++i)
                        if (hexDigit(m_p[i]) < 0)
                            return false;
                    m_p += 5;
                    break;
                default:
                    return false;
                }
            } else if (c >= 0x80) {
                if (!skipUtf8())
                    return false;
            } else {
                ++m_p;
            }
        }
        return false;
    }

    // The text of a validated string body.
    static QString decode(Slice raw, bool escaped)
    {
        if (!escaped)
            return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
        QString text;
        text.reserve(static_cast<qsizetype>(raw.size()));
        size_t runStart = 0;
        size_t i = 0;
        auto flush = [&] {
            if (i > runStart)
                text +=
                    QString::fromUtf8(raw.data() + runStart, static_cast<qsizetype>(i - runStart));
        };
        while (i < raw.size()) {
            if (raw[i] != '\\') {
                ++i;
                continue;
            }
            flush();
            const char e = raw[i + 1];
            switch (e) {
            case 'b':
                text += QChar(u'\b');
                break;
            case 'f':
                text += QChar(u'\f');
                break;
            case 'n':
                text += QChar(u'\n');
                break;
            case 'r':
                text += QChar(u'\r');
                break;
            case 't':
                text += QChar(u'\t');
                break;
            case 'u': {
                char16_t unit = 0;
                for (int k = 2; k <= 5; ++k)
                    unit = static_cast<char16_t>((unit << 4) | hexDigit(raw[i + k]));
                text += QChar(unit);
                i += 4;
                break;
            }
            default:
                text += QLatin1Char(e);
                break;
            }
            i += 2;
            runStart = i;
        }
        flush();
        return text;
    }

    // A number at the cursor, validated against the JSON grammar.
    bool readNumber(double& value)
    {
        const char* begin = m_p;
        if (m_p != m_end && *m_p == '-')
            ++m_p;
        if (m_p == m_end)
            return false;
        if (*m_p == '0') {
            ++m_p;
        } else if (*m_p >= '1' && *m_p <= '9') {
            while (m_p != m_end && *m_p >= '0' && *m_p <= '9')
                ++m_p;
        } else {
            return false;
        }
        if (m_p != m_end && *m_p == '.') {
            ++m_p;
            if (m_p == m_end || *m_p < '0' || *m_p > '9')
                return false;
            while (m_p != m_end && *m_p >= '0' && *m_p <= '9')
                ++m_p;
        }
        if (m_p != m_end && (*m_p == 'e' || *m_p == 'E')) {
            ++m_p;
            if (m_p != m_end && (*m_p == '+' || *m_p == '-'))
                ++m_p;
            if (m_p == m_end || *m_p < '0' || *m_p > '9')
                return false;
            while (m_p != m_end && *m_p >= '0' && *m_p <= '9')
                ++m_p;
        }
        const auto [end, error] = std::from_chars(begin, m_p, value);
        return error == std::errc() && end == m_p && std::isfinite(value);
    }

    // Any value, validated and skipped.
    bool skipValue(int depth)
    {
        skipSpace();
        if (m_p == m_end)
            return false;
        switch (*m_p) {
        case '{': {
            if (depth >= kMaxDepth)
                return false;
            ++m_p;
            if (consume('}'))
                return true;
            do {
                skipSpace();
                Slice key;
                bool escaped = false;
                if (!readString(key, escaped) || !consume(':') || !skipValue(depth + 1))
                    return false;
            } while (consume(','));
            return consume('}');
        }
        case '[': {
            if (depth >= kMaxDepth)
                return false;
            ++m_p;
            if (consume(']'))
                return true;
            do {
                if (!skipValue(depth + 1))
                    return false;
            } while (consume(','));
            return consume(']');
        }
        case '"': {
            Slice raw;
            bool escaped = false;
            return readString(raw, escaped);
        }
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        default: {
            double ignored = 0;
            return readNumber(ignored);
        }
        }
    }

    // Reads one key of an object; `key` is its text (decoded only when it has escapes).
    bool readKey(QByteArray& storage, std::string_view& key)
    {
        skipSpace();
        Slice raw;
        bool escaped = false;
        if (!readString(raw, escaped) || !consume(':'))
            return false;
        if (escaped) {
            storage = decode(raw, true).toUtf8();
            key = std::string_view(storage.constData(), static_cast<size_t>(storage.size()));
        } else {
            key = raw;
        }
        return true;
    }

    // The raw JSON of the next value, for the rare error fields.
    bool captureValue(QByteArray& out)
    {
        skipSpace();
        const char* begin = m_p;
        if (!skipValue(1))
            return false;
        out = QByteArray(begin, static_cast<qsizetype>(m_p - begin));
        return true;
    }

    // true / false / anything else (skipped) for a boolean field.
    bool readFlag(bool& flag, int depth)
    {
        skipSpace();
        if (m_p != m_end && *m_p == 't' && literal("true")) {
            flag = true;
            return true;
        }
        flag = false;
        return skipValue(depth);
    }

    bool readMilliseconds(std::optional<qint64>& out, int depth)
    {
        skipSpace();
        if (m_p != m_end && (*m_p == '-' || (*m_p >= '0' && *m_p <= '9'))) {
            double value = 0;
            if (!readNumber(value))
                return false;
            if (std::trunc(value) == value && std::fabs(value) <= 9.0e15)
                out = static_cast<qint64>(value);
            else
                out.reset();
            return true;
        }
        out.reset();
        return skipValue(depth);
    }

    bool readToken(SonioxResponse& response)
    {
        // Later duplicates of a key win, as in any JSON object.
        std::optional<QString> text;
        bool isFinal = false;
        bool translated = false;
        ++m_p;
        if (!consume('}')) {
            do {
                QByteArray storage;
                std::string_view key;
                if (!readKey(storage, key))
                    return false;
                skipSpace();
                if (key == "text") {
                    if (m_p != m_end && *m_p == '"') {
                        Slice raw;
                        bool escaped = false;
                        if (!readString(raw, escaped))
                            return false;
                        text = decode(raw, escaped);
                    } else {
                        text.reset();
                        if (!skipValue(3))
                            return false;
                    }
                } else if (key == "is_final") {
                    if (!readFlag(isFinal, 3))
                        return false;
                } else if (key == "translation_status") {
                    translated = false;
                    if (m_p != m_end && *m_p == '"') {
                        Slice raw;
                        bool escaped = false;
                        if (!readString(raw, escaped))
                            return false;
                        translated = (escaped ? decode(raw, true).toUtf8() == "translation"
                                              : raw == "translation");
                    } else if (!skipValue(3)) {
                        return false;
                    }
                } else if (!skipValue(3)) {
                    return false;
                }
            } while (consume(','));
            if (!consume('}'))
                return false;
        }
        if (!text)
            return true;
        if (*text == QLatin1String("<fin>")) {
            response.fin = true;
            return true;
        }
        if (*text == QLatin1String("<end>") || translated != m_translate)
            return true;
        (isFinal ? response.finals : response.tail) += *text;
        return true;
    }

    bool readTokens(SonioxResponse& response)
    {
        // A repeated "tokens" key replaces the earlier one.
        response.finals.clear();
        response.tail.clear();
        response.fin = false;
        skipSpace();
        if (m_p == m_end || *m_p != '[')
            return skipValue(1);
        ++m_p;
        if (consume(']'))
            return true;
        do {
            skipSpace();
            if (m_p != m_end && *m_p == '{') {
                if (!readToken(response))
                    return false;
            } else if (!skipValue(2)) {
                return false;
            }
        } while (consume(','));
        return consume(']');
    }

    bool readTopLevel(SonioxResponse& response)
    {
        if (m_p == m_end || *m_p != '{')
            return false;
        ++m_p;
        if (consume('}'))
            return true;
        do {
            QByteArray storage;
            std::string_view key;
            if (!readKey(storage, key))
                return false;
            bool ok = false;
            if (key == "tokens") {
                ok = readTokens(response);
            } else if (key == "final_audio_proc_ms") {
                ok = readMilliseconds(response.finalMs, 1);
            } else if (key == "total_audio_proc_ms") {
                ok = readMilliseconds(response.totalMs, 1);
            } else if (key == "finished") {
                ok = readFlag(response.finished, 1);
            } else if (key == "error_code") {
                m_errorCode.emplace();
                ok = captureValue(*m_errorCode);
            } else if (key == "error_message") {
                m_errorMessage.emplace();
                ok = captureValue(*m_errorMessage);
            } else {
                ok = skipValue(1);
            }
            if (!ok)
                return false;
        } while (consume(','));
        return consume('}');
    }

    // How an error field prints: a number as its digits, a string as itself, anything else as
    // compact JSON.
    static QString printed(const QByteArray& json)
    {
        const QJsonValue value = QJsonDocument::fromJson("[" + json + "]").array().at(0);
        switch (value.type()) {
        case QJsonValue::String:
            return value.toString();
        case QJsonValue::Double: {
            const double d = value.toDouble();
            if (std::trunc(d) == d && std::fabs(d) < 9.0e15)
                return QString::number(static_cast<qint64>(d));
            return QString::number(d, 'g', 17);
        }
        case QJsonValue::Bool:
            return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        case QJsonValue::Null:
            return QStringLiteral("null");
        case QJsonValue::Array:
            return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
        case QJsonValue::Object:
            return QString::fromUtf8(
                QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
        case QJsonValue::Undefined:
            break;
        }
        return QString();
    }

    const char* m_p;
    const char* m_end;
    const bool m_translate;
    std::optional<QByteArray> m_errorCode;
    std::optional<QByteArray> m_errorMessage;
};

} // namespace

std::optional<SonioxResponse> SonioxResponse::parse(const QByteArray& bytes, bool translate)
{
    return Reader(bytes, translate).read();
}

} // namespace quillet
