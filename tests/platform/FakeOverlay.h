#pragma once

#include "platform/Overlay.h"

#include <QImage>

namespace quillet::test {

// An overlay that keeps the last picture it was given.
class FakeOverlay final : public Overlay {
public:
    bool isAvailable() const override { return true; }
    void show(const QImage& picture, qreal pictureScale, int bottomMargin) override
    {
        image = picture;
        scale = pictureScale;
        margin = bottomMargin;
        ++pictures;
        shown = true;
    }
    void hide() override { shown = false; }

    QImage image;
    qreal scale = 0;
    int margin = 0;
    int pictures = 0;
    bool shown = false;
};

} // namespace quillet::test
