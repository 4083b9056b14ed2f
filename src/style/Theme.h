#pragma once
#include "state/ThemeID.h"
#include "core/FileCategory.h"

#include <QColor>
#include <QString>

#include <array>
#include <cstdint>
#include <string_view>

namespace tallymere {

class FileNode;

// The colour arithmetic behind every rule of Theme, kept free of any widget so it can be checked
// on its own.
namespace ColorRules {

// A linear blend in sRGB: the receiver's red, green and blue moved toward `other` by `amount`
// (clamped to 0...1), keeping the receiver's opacity. An invalid receiver counts as black and an
// invalid `other` as white, so the blend always yields a colour.
QColor mix(const QColor& receiver, const QColor& other, double amount);

// An opaque sRGB colour from a 0xRRGGBB word.
QColor fromWord(std::uint32_t rgb);

// djb2 over the bytes of a name (h = h * 33 + b from 5381), wrapping in 64 bits.
std::uint64_t djb2(std::string_view bytes);

// 32-bit FNV-1a over the bytes of a name.
std::uint32_t fnv1a(std::string_view bytes);

// The position 0...1 of an age on the age ramp: log10(days + 1) / log10(1827), capped at 1. Ages
// below zero (times in the future) count as zero.
double ageFraction(double days);

} // namespace ColorRules

// One colour palette and the rules that turn a node into a fill. A plain value: copy it freely.
// Build one with Theme::make; the default-constructed Theme is the paper palette.
struct Theme {
    ThemeID id = ThemeID::paper;
    bool isDark = false;
    QColor background;
    QColor surface;
    QColor surfaceRaised;
    QColor stroke;
    QColor text;
    QColor textSecondary;
    QColor textTertiary;
    QColor accent;
    QColor accentSecondary;
    QColor danger;
    QColor success;
    QColor warning;
    // The ten category colours; always exactly ten.
    std::array<QColor, 10> ramp;

    // The paper palette, the default everywhere.
    Theme();
    explicit Theme(ThemeID id);

    // The palette of `id`; cheap enough to call whenever the theme is needed.
    static Theme make(ThemeID id);

    // Display name of the palette ("Paper", "Linen", ...).
    QString name() const;

    // Ink for text and icons drawn on an `accent` fill.
    QColor onAccent() const;

    // The fixed colour of a file category; `folder` is textTertiary, never a ramp entry.
    QColor category(FileCategory category) const;

    // Fill of a plain folder, stable per name: a ramp entry picked by the name's djb2 hash,
    // lightened toward `surface`.
    QColor folderColor(const FileNode& node) const;
    QColor folderColor(std::string_view name) const;

    // Category-style fill, darkened with depth (from depth 1) and inked when hovered.
    QColor nodeColor(const FileNode& node, int depth, bool hovered) const;

    // Fill of a node in the graphical views. `tint` is the branch number of the layout record.
    QColor nodeColor(const FileNode& node, int depth, int tint, ColorMode mode) const;

    // Colour of a modification time (seconds since 1970) at the current time; `modified` <= 0
    // (or not a number) means undated and gives textTertiary.
    QColor ageColor(double modified) const;
    // The same against an explicit clock, for callers that colour many nodes at one instant.
    QColor ageColor(double modified, double now) const;

    // Branch colour for a name, as nodeColor(..., ColorMode::branch) computes it.
    QColor branchColor(std::string_view name, bool isPlainFolder, int depth, int tint) const;

    // Branch colours as nodeColor(..., ColorMode::branch) gives them, each blend worked out once:
    // a branch colour is one of a few hundred blends of the ramp, and a view that colours thousands
    // of nodes would otherwise blend for every one. For one thread; keeps a reference to the theme.
    class BranchColors {
    public:
        explicit BranchColors(const Theme& theme) : m_theme(theme) {}
        QColor of(const FileNode& node, int depth, int tint);

    private:
        // By ramp entry, the name's choice of a second entry, depth up to 4 and whether a plain folder.
        static constexpr int depths = 5;
        const Theme& m_theme;
        std::array<QColor, std::tuple_size_v<decltype(ramp)> * 4 * depths * 2> m_blends;
    };
};

} // namespace tallymere
