#include "desktop/HotKey.h"

namespace quillet {

namespace {

struct KeyFacts {
    int code;
    quint64 flag;
    const char* name;
    const char* symbol;
};

// In the order of HotKey::Key. The codes and flag bits are the ones the key monitors report.
constexpr std::array<KeyFacts, 6> facts = {{
    {61, 0x40, "Right Alt", "Alt"},
    {54, 0x10, "Right Super", "Super"},
    {62, 0x2000, "Right Ctrl", "Ctrl"},
    {60, 0x4, "Right Shift", "\u21E7"},
    {63, 0x800000, "Menu key", "Menu"},
    {58, 0x20, "Left Alt", "Alt"},
}};

const KeyFacts& factsOf(HotKey::Key key)
{
    return facts[static_cast<size_t>(key)];
}

} // namespace

HotKey HotKey::fromKeyCode(int code)
{
    for (const Key key : all) {
        if (factsOf(key).code == code)
            return key;
    }
    return rightOption;
}

int HotKey::keyCode() const
{
    return factsOf(m_key).code;
}

quint64 HotKey::flagMask() const
{
    return factsOf(m_key).flag;
}

QString HotKey::displayName() const
{
    return QString::fromUtf8(factsOf(m_key).name);
}

QString HotKey::symbol() const
{
    return QString::fromUtf8(factsOf(m_key).symbol);
}

} // namespace quillet
