#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <utility>

namespace quillet {

// A user-interface element of another application, kept alive as long as a handle to it exists.
// What it holds is the adapter's business.
class AccessibleElement {
public:
    virtual ~AccessibleElement() = default;
};
using ElementHandle = std::shared_ptr<const AccessibleElement>;

// What precedes the caret in a text element.
struct CaretCharacter {
    enum class Kind {
        // Nothing could be read.
        undetermined,
        // The caret is at the very start.
        none,
        character,
    };

    Kind kind = Kind::undetermined;
    // One user-perceived character (a whole grapheme cluster), for Kind::character.
    QString character;

    static CaretCharacter undetermined() { return {}; }
    static CaretCharacter none() { return {Kind::none, {}}; }
    static CaretCharacter of(QString c) { return {Kind::character, std::move(c)}; }

    friend bool operator==(const CaretCharacter&, const CaretCharacter&) = default;
};

// Reads the focused text field of other applications. Main thread only; every call returns
// within 0.25 s, a read that takes longer counting as failed. Password fields are never read:
// they count as no element.
class Accessibility {
public:
    virtual ~Accessibility() = default;

    // Other applications' elements can be read (the desktop's accessibility service answers).
    // With PasteSender::isAvailable() this makes up the accessibility trust the user is shown.
    virtual bool isAvailable() const = 0;
    // The element with the keyboard focus, or null.
    virtual ElementHandle focusedElement() = 0;
    // The element's whole text, when it has text.
    virtual std::optional<QString> elementValue(const ElementHandle& element) = 0;
    virtual CaretCharacter characterBeforeCaret(const ElementHandle& element) = 0;
    // The title of the window that holds the focus.
    virtual std::optional<QString> focusedWindowTitle() = 0;
    // The focused element is a terminal.
    virtual bool focusedIsTerminal() = 0;
};

} // namespace quillet
