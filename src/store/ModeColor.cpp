#include "store/ModeColor.h"

#include <algorithm>
#include <cmath>

namespace quillet {

namespace {

constexpr unsigned int kMidGrey = 0x888888;

ModeColor fromRgb(unsigned int rgb)
{
    return ModeColor{((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                     (rgb & 0xFF) / 255.0};
}

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

unsigned int ModeColor::rgb() const
{
    const auto channel = [](double v) {
        return static_cast<unsigned int>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
    };
    return (channel(red) << 16) | (channel(green) << 8) | channel(blue);
}

ModeColor colorFromHex(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u'#')
        ++begin;
    while (end > begin && text.at(end - 1) == u'#')
        --end;
    if (begin < end && text.at(begin) == u'+')
        ++begin;
    if (begin == end)
        return fromRgb(kMidGrey);
    // Parsed by hand: QString::toUInt would also accept white space and a "0x" prefix.
    unsigned long long value = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const int digit = hexDigit(text.at(i));
        if (digit < 0)
            return fromRgb(kMidGrey);
        value = value * 16 + static_cast<unsigned int>(digit);
        if (value > 0xFFFFFFFFULL)
            return fromRgb(kMidGrey);
    }
    return fromRgb(static_cast<unsigned int>(value));
}

} // namespace quillet
