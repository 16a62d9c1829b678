#pragma once

#include <QColor>
#include <QLabel>

namespace quillet {

struct Style;

// A small label showing a mode's name in the mode's colour, on a faint wash of it.
class ModeTag : public QLabel {
    Q_OBJECT
public:
    explicit ModeTag(const Style& style, QWidget* parent = nullptr);

    QColor color() const { return m_color; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
};

} // namespace quillet
