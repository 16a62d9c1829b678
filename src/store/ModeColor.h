#pragma once

#include <QString>

namespace quillet {

// An opaque sRGB colour with components in 0...1, kept free of the GUI libraries; views convert
// it with QColor::fromRgbF or QColor(rgb()).
struct ModeColor {
    double red = 0;
    double green = 0;
    double blue = 0;

    // 0xRRGGBB.
    unsigned int rgb() const;

    bool operator==(const ModeColor&) const = default;
};

// Reads a mode's colour text: "#" characters stripped from both ends, the rest an unsigned 32-bit
// hexadecimal number (either case, optional leading "+") whose low 24 bits are red, green, blue.
// Empty or unparsable text reads as mid grey (0x888888).
ModeColor colorFromHex(const QString& text);

} // namespace quillet
