#pragma once

#include "platform/Accessibility.h"

#include <QStringList>

namespace quillet {

// A text field of another application; the test edits it as the user would.
class FakeElement final : public AccessibleElement {
public:
    explicit FakeElement(std::optional<QString> value = std::nullopt,
                         CaretCharacter caret = CaretCharacter::undetermined())
        : value(std::move(value))
        , caret(std::move(caret))
    {}
    // Absent: the element has no readable text (or has gone away).
    std::optional<QString> value;
    CaretCharacter caret;
};

// Accessibility with a focused element and window title the test sets; `reads` keeps every
// question asked, e.g. "focusedElement", "elementValue", "characterBeforeCaret".
class FakeAccessibility final : public Accessibility {
public:
    bool available = true;
    std::shared_ptr<FakeElement> focused;
    std::optional<QString> windowTitle;
    bool terminal = false;
    QStringList reads;

    bool isAvailable() const override { return available; }
    ElementHandle focusedElement() override
    {
        reads << QStringLiteral("focusedElement");
        return available ? focused : nullptr;
    }
    std::optional<QString> elementValue(const ElementHandle& element) override
    {
        reads << QStringLiteral("elementValue");
        const auto* e = dynamic_cast<const FakeElement*>(element.get());
        return available && e ? e->value : std::nullopt;
    }
    CaretCharacter characterBeforeCaret(const ElementHandle& element) override
    {
        reads << QStringLiteral("characterBeforeCaret");
        const auto* e = dynamic_cast<const FakeElement*>(element.get());
        return available && e ? e->caret : CaretCharacter::undetermined();
    }
    std::optional<QString> focusedWindowTitle() override
    {
        reads << QStringLiteral("focusedWindowTitle");
        return available ? windowTitle : std::nullopt;
    }
    bool focusedIsTerminal() override
    {
        reads << QStringLiteral("focusedIsTerminal");
        return available && terminal;
    }
};

} // namespace quillet
