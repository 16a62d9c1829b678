#pragma once

#include <QtGlobal>

class QImage;

namespace quillet {

// A surface of the desktop's own above every window, centred at the bottom of a screen, that
// takes neither the keyboard nor the pointer: where the pill goes when no toolkit window can be
// made to behave so. It shows pictures drawn elsewhere.
class Overlay {
public:
    virtual ~Overlay() = default;

    // The desktop can show such a surface now.
    virtual bool isAvailable() const = 0;
    // Shows `image` (in device pixels, `scale` of them to a logical pixel), `bottomMargin`
    // logical pixels above the part of the screen that panels and docks leave free; a later call
    // replaces the picture. Returns at once.
    virtual void show(const QImage& image, qreal scale, int bottomMargin) = 0;
    virtual void hide() = 0;
};

} // namespace quillet
