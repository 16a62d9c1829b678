#include "wayland/XkbKeymap.h"

#include <cstdlib>
#include <xkbcommon/xkbcommon.h>

namespace quillet {

namespace {

// xkbcommon numbers keys from 8, the kernel and the Wayland protocols from 0.
constexpr quint32 xkbOffset = 8;

std::shared_ptr<xkb_context> context()
{
    static const std::shared_ptr<xkb_context> shared(xkb_context_new(XKB_CONTEXT_NO_FLAGS),
                                                     [](xkb_context* c) { xkb_context_unref(c); });
    return shared;
}

std::shared_ptr<xkb_keymap> adopt(xkb_keymap* keymap)
{
    if (!keymap)
        return nullptr;
    return {keymap, [](xkb_keymap* k) { xkb_keymap_unref(k); }};
}

} // namespace

XkbKeymap::XkbKeymap(std::shared_ptr<xkb_keymap> keymap)
    : m_keymap(std::move(keymap))
{}

std::optional<XkbKeymap> XkbKeymap::fromText(const QByteArray& text)
{
    const auto ctx = context();
    if (!ctx || text.isEmpty())
        return std::nullopt;
    auto keymap = adopt(
        xkb_keymap_new_from_buffer(ctx.get(), text.constData(), static_cast<size_t>(text.size()),
                                   XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        return std::nullopt;
    return XkbKeymap(std::move(keymap));
}

std::optional<XkbKeymap> XkbKeymap::fromNames(const QByteArray& layout, const QByteArray& variant)
{
    const auto ctx = context();
    if (!ctx)
        return std::nullopt;
    xkb_rule_names names{};
    if (!layout.isEmpty())
        names.layout = layout.constData();
    if (!variant.isEmpty())
        names.variant = variant.constData();
    auto keymap = adopt(xkb_keymap_new_from_names(ctx.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        return std::nullopt;
    return XkbKeymap(std::move(keymap));
}

QByteArray XkbKeymap::text() const
{
    char* text = xkb_keymap_get_as_string(m_keymap.get(), XKB_KEYMAP_FORMAT_TEXT_V1);
    if (!text)
        return {};
    QByteArray out(text);
    std::free(text);
    return out;
}

std::optional<XkbKeymap::Key> XkbKeymap::find(quint32 keysym) const
{
    xkb_keymap* k = m_keymap.get();
    const xkb_layout_index_t groups = xkb_keymap_num_layouts(k);
    for (xkb_layout_index_t group = 0; group < groups; ++group) {
        std::optional<Key> best;
        xkb_level_index_t bestLevel = 0;
        for (xkb_keycode_t code = xkb_keymap_min_keycode(k); code <= xkb_keymap_max_keycode(k);
             ++code) {
            if (code < xkbOffset || group >= xkb_keymap_num_layouts_for_key(k, code))
                continue;
            const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(k, code, group);
            for (xkb_level_index_t level = 0; level < levels; ++level) {
                if (best && level >= bestLevel)
                    break;
                const xkb_keysym_t* syms = nullptr;
                const int n = xkb_keymap_key_get_syms_by_level(k, code, group, level, &syms);
                if (n != 1 || syms[0] != keysym)
                    continue;
                xkb_mod_mask_t mask = 0;
                if (level > 0 &&
                    xkb_keymap_key_get_mods_for_level(k, code, group, level, &mask, 1) < 1)
                    continue;
                best = Key{code - xkbOffset, group, mask};
                bestLevel = level;
                break;
            }
            if (best && bestLevel == 0)
                break;
        }
        if (best)
            return best;
    }
    return std::nullopt;
}

quint32 XkbKeymap::modifier(const char* name) const
{
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(m_keymap.get(), name);
    return index == XKB_MOD_INVALID ? 0 : (1u << index);
}

QString XkbKeymap::layoutName() const
{
    const char* name = xkb_keymap_layout_get_name(m_keymap.get(), 0);
    return name ? QString::fromUtf8(name) : QString();
}

bool XkbKeymap::isFullLayout() const
{
    // The letters alone make 26 keys; a real keyboard's layout has its digits and punctuation too.
    constexpr int fullLayoutKeys = 40;
    xkb_keymap* k = m_keymap.get();
    int keys = 0;
    for (xkb_keycode_t code = xkb_keymap_min_keycode(k); code <= xkb_keymap_max_keycode(k);
         ++code) {
        const xkb_keysym_t* syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(k, code, 0, 0, &syms) > 0)
            ++keys;
    }
    return keys >= fullLayoutKeys;
}

} // namespace quillet
