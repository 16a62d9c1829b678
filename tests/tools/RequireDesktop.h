#pragma once

#include <QTest>

// Tests that use the desktop's services (keyring, session bus, sound server, X server) run only
// inside tests/tools/with-desktop.sh, which sets QUILLET_DESKTOP=1: elsewhere they would reach the
// developer's own keyring and devices. They skip from initTestCase, which CTest reports as a
// skipped test (and the CI run treats as a failure).
#define QUILLET_REQUIRE_DESKTOP()                                                                  \
    do {                                                                                           \
        if (qEnvironmentVariable("QUILLET_DESKTOP") != u"1")                                       \
            QSKIP("needs the headless desktop: run under tests/tools/with-desktop.sh");            \
    } while (false)
