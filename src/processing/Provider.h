#pragma once

#include <QString>

#include <optional>

namespace quillet {

// The text-processing service the user picked. The stored form is the raw value; the list order
// is the order the settings picker offers.
enum class Provider { cerebras, openai, custom };

namespace providers {

// "cerebras", "openai", "custom".
QString rawValue(Provider provider);
// Exact match against the raw values; anything else is none.
std::optional<Provider> fromRawValue(const QString& text);
// "Cerebras", "OpenAI", "OpenAI-compatible".
QString displayName(Provider provider);
// https, the provider's public API host and its path, no trailing slash.
QString defaultBaseURL(Provider provider);
QString defaultFastModel(Provider provider);
QString defaultQualityModel(Provider provider);

} // namespace providers
} // namespace quillet
