#include "processing/Provider.h"

namespace quillet::providers {

namespace {

struct Row {
    Provider provider;
    const char16_t* raw;
    const char16_t* display;
    const char16_t* baseURL;
    const char16_t* fast;
    const char16_t* quality;
};

// The "custom" provider stands for any OpenAI-compatible service; Groq is its default.
constexpr Row kRows[] = {
    {Provider::cerebras, u"cerebras", u"Cerebras", u"https://api.cerebras.ai/v1", u"gpt-oss-120b",
     u"qwen-3.8-27b"},
    {Provider::openai, u"openai", u"OpenAI", u"https://api.openai.com/v1", u"gpt-4.1-mini",
     u"gpt-4.1-mini"},
    {Provider::custom, u"custom", u"OpenAI-compatible", u"https://api.groq.com/openai/v1",
     u"llama-3.3-70b-versatile", u"llama-3.3-70b-versatile"},
};

const Row& row(Provider provider)
{
    for (const Row& r : kRows) {
        if (r.provider == provider)
            return r;
    }
    return kRows[0];
}

} // namespace

QString rawValue(Provider provider)
{
    return QString::fromUtf16(row(provider).raw);
}

std::optional<Provider> fromRawValue(const QString& text)
{
    for (const Row& r : kRows) {
        if (text == QStringView(r.raw))
            return r.provider;
    }
    return std::nullopt;
}

QString displayName(Provider provider)
{
    return QString::fromUtf16(row(provider).display);
}

QString defaultBaseURL(Provider provider)
{
    return QString::fromUtf16(row(provider).baseURL);
}

QString defaultFastModel(Provider provider)
{
    return QString::fromUtf16(row(provider).fast);
}

QString defaultQualityModel(Provider provider)
{
    return QString::fromUtf16(row(provider).quality);
}

} // namespace quillet::providers
