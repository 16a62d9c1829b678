#include "hud/PillLayout.h"

#include "hud/PillText.h"

#include <QFontMetricsF>
#include <QGuiApplication>

#include <algorithm>
#include <vector>

namespace quillet {

namespace {

constexpr std::array<qreal, PillLayout::barCount> barShape = {0.5, 0.8, 1.0, 0.75, 0.45};
constexpr qreal tagPadX = 7;
constexpr qreal tagPadY = 2;
// A tag longer than this is cut, so that a long mode name leaves room for the transcript.
constexpr qreal tagTextMax = 140;
constexpr QSizeF lockSize{9, 11};

QFont systemFont(int pixels, QFont::Weight weight)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

// Lays a row of items of the given widths and heights out on the capsule, left to right.
struct Row {
    std::vector<QSizeF> items;

    qreal width() const
    {
        qreal w = 2 * PillLayout::margin;
        for (const QSizeF& item : items)
            w += item.width();
        return w + PillLayout::spacing * qreal(std::max<size_t>(items.size(), 1) - 1);
    }
};

} // namespace

qreal PillLayout::meterScale(qreal level)
{
    return std::clamp(level * 1.6, 0.0, 1.0);
}

std::array<qreal, PillLayout::barCount> PillLayout::barHeights(qreal scale)
{
    std::array<qreal, barCount> heights{};
    for (int i = 0; i < barCount; ++i)
        heights[i] = barShape[i] * 14 * scale + 4;
    return heights;
}

QFont PillLayout::tagFont()
{
    return systemFont(11, QFont::Bold);
}

QFont PillLayout::textFont()
{
    return systemFont(13, QFont::Medium);
}

QFont PillLayout::noteFont()
{
    return systemFont(12, QFont::Normal);
}

PillLayout PillLayout::compute(const PillState& state, qreal meter)
{
    PillLayout out;
    if (!state.bound)
        return out;

    const QFontMetricsF text(textFont());
    const qreal innerMax = panelSize.width() - 2 * margin;
    Row row;

    if (state.showsToast()) {
        out.content = Content::toast;
        out.labelText = text.elidedText(state.toast, Qt::ElideRight, innerMax);
        row.items = {{text.horizontalAdvance(out.labelText), text.height()}};
    } else {
        out.content = state.processing() ? Content::processing : Content::listening;
        const QFontMetricsF tag(tagFont());
        out.tagText = tag.elidedText(state.mode.name, Qt::ElideRight, tagTextMax);
        row.items.push_back(
            {tag.horizontalAdvance(out.tagText) + 2 * tagPadX, tag.height() + 2 * tagPadY});
        if (state.showsLock())
            row.items.push_back(lockSize);
        if (out.content == Content::processing) {
            out.labelText = pilltext::processingLabel(state.mode);
            row.items.push_back({spinnerSize, spinnerSize});
            row.items.push_back({text.horizontalAdvance(out.labelText), text.height()});
        } else {
            const QString status = pilltext::statusLine(state);
            const qreal frame = state.lagging ? laggingStatusWidth : statusWidth;
            row.items.push_back({barCount * barWidth + (barCount - 1) * barSpacing, meterHeight});
            row.items.push_back({std::min(text.horizontalAdvance(status), frame), text.height()});
            if (state.lagging) {
                const QFontMetricsF note(noteFont());
                row.items.push_back({note.horizontalAdvance(pilltext::catchingUp), note.height()});
            }
            // A long mode name with the lag note may not leave the status line its whole frame.
            const qsizetype statusItem = qsizetype(row.items.size()) - (state.lagging ? 2 : 1);
            QSizeF& statusSize = row.items[size_t(statusItem)];
            const qreal over = row.width() - panelSize.width();
            if (over > 0)
                statusSize.setWidth(std::max<qreal>(0, statusSize.width() - over));
            out.statusText = text.elidedText(status, Qt::ElideLeft, statusSize.width());
        }
    }

    const qreal width = std::min<qreal>(row.width(), panelSize.width());
    out.capsule =
        QRectF((panelSize.width() - width) / 2, (panelSize.height() - height) / 2, width, height);
    const qreal middle = out.capsule.center().y();
    qreal x = out.capsule.left() + margin;
    auto place = [&](const QSizeF& size) {
        const QRectF r(x, middle - size.height() / 2, size.width(), size.height());
        x += size.width() + spacing;
        return r;
    };

    size_t next = 0;
    if (out.content == Content::toast) {
        out.label = place(row.items[next]);
        return out;
    }
    out.tag = place(row.items[next++]);
    if (state.showsLock())
        out.lock = place(row.items[next++]);
    if (out.content == Content::processing) {
        out.spinner = place(row.items[next++]);
        out.label = place(row.items[next++]);
        return out;
    }
    const QRectF meterRow = place(row.items[next++]);
    const auto heights = barHeights(meter);
    for (int i = 0; i < barCount; ++i) {
        out.bars[size_t(i)] = QRectF(meterRow.left() + i * (barWidth + barSpacing),
                                     middle - heights[size_t(i)] / 2, barWidth, heights[size_t(i)]);
    }
    out.status = place(row.items[next++]);
    if (state.lagging)
        out.note = place(row.items[next++]);
    return out;
}

} // namespace quillet
