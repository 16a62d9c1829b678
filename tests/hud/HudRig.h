#pragma once

#include "desktop/DesktopFixture.h"
#include "hud/FloatingHud.h"
#include "hud/HudPanel.h"

namespace quillet::test {

// The floating HUD over the desktop fakes, bound to a real dictation whose speech sessions and
// microphone are fake.
struct HudRig : DesktopFixture {
    bool compositing = false;
    FloatingHud hud{{store, prefs, clock, [this] { return compositing; }}};
    Dictation d{dictationServices()};

    explicit HudRig(bool bind = true)
    {
        if (bind)
            hud.bind(&d);
    }
    bool up() const { return hud.panel().isVisible(); }
    QString toast() const { return hud.model().toast(); }
};

} // namespace quillet::test
