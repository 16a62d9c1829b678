#pragma once

#include <QColor>
#include <QIcon>

class QLabel;

namespace quillet {

// The small symbols of the settings window: the icon theme's where it has one, drawn here
// otherwise. The status marks are always drawn, since their colours carry the meaning.
class Symbols {
public:
    enum class Name {
        gear,
        wand,
        book,
        clock,
        person,
        checkmark,   // filled green circle with a check
        exclamation, // filled orange circle with an exclamation mark
        xmark,       // filled grey circle with a cross
        chevronRight,
        plus,
    };

    // Made once per run and shared: an icon's renderings are cached by the icon's identity, so
    // icons made afresh for every opening of the window would pile up in that cache.
    static QIcon icon(Name name);
    // A filled circle in a mode's colour ("#RRGGBB"), the same way made once per colour.
    static QIcon dot(const QString& color);
    // Shows on `mark` the status of a row: a green check when `ok`, else the orange mark; as
    // tall as the label's text.
    static void showStatus(QLabel* mark, bool ok);

    static QColor green() { return QColor(0x34, 0xC7, 0x59); }
    static QColor orange() { return QColor(0xFF, 0x95, 0x00); }

private:
    static QIcon drawn(Name name);
    static QIcon paintDot(const QString& color);
};

} // namespace quillet
