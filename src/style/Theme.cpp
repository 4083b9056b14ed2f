#include "style/Theme.h"

#include "core/FileNode.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

namespace tallymere {

namespace ColorRules {

QColor mix(const QColor& receiver, const QColor& other, double amount) {
    const double t = std::clamp(amount, 0.0, 1.0);
    const QColor a = receiver.isValid() ? receiver.toRgb() : QColor(0, 0, 0);
    const QColor b = other.isValid() ? other.toRgb() : QColor(255, 255, 255);
    auto blend = [t](float from, float to) { return std::clamp(from + t * (to - from), 0.0, 1.0); };
    return QColor::fromRgbF(float(blend(a.redF(), b.redF())), float(blend(a.greenF(), b.greenF())),
                            float(blend(a.blueF(), b.blueF())), a.alphaF());
}

QColor fromWord(std::uint32_t rgb) {
    return QColor(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
}

std::uint64_t djb2(std::string_view bytes) {
    std::uint64_t h = 5381;
    for (unsigned char b : bytes) h = h * 33 + b;
    return h;
}

std::uint32_t fnv1a(std::string_view bytes) {
    std::uint32_t h = 2166136261u;
    for (unsigned char b : bytes) h = (h ^ b) * 16777619u;
    return h;
}

double ageFraction(double days) {
    // log10(1827): the fraction reaches 1 at an age of 1826 days, about five years.
    constexpr double fiveYears = 3.2617385473525378;
    return std::min(std::log10(std::max(days, 0.0) + 1.0) / fiveYears, 1.0);
}

} // namespace ColorRules

namespace {

using Ramp = std::array<QColor, 10>;
using Words = std::array<std::uint32_t, 10>;

Ramp rampFrom(const Words& words) {
    Ramp ramp;
    for (std::size_t i = 0; i < words.size(); ++i) ramp[i] = ColorRules::fromWord(words[i]);
    return ramp;
}

// Each ramp is turned into colours once, on first use; function statics are initialised once
// even when two threads arrive together.
const Ramp& warmRamp() {
    static const Ramp ramp = rampFrom({0xE9C25C, 0xE2929F, 0x9DB16B, 0x8FB4D0, 0xB3A6CE, 0xDB9A6E, 0x7FBBA2,
                                       0xD3C2A3, 0xB57E96, 0xB9B2A3});
    return ramp;
}
const Ramp& blushRamp() {
    static const Ramp ramp = rampFrom({0xEBBE68, 0xE49AA4, 0xA3B173, 0x93B2CE, 0xBBA9CE, 0xE0A07A, 0x84BCA8,
                                       0xD8C4AB, 0xBE859B, 0xC0B3A8});
    return ramp;
}
const Ramp& gardenRamp() {
    static const Ramp ramp = rampFrom({0xDDBE5C, 0xD98F92, 0x8FAB63, 0x87ADC4, 0xA9A2C6, 0xCE9264, 0x74B195,
                                       0xCBBB9C, 0xAC7A8C, 0xACAC9C});
    return ramp;
}
const Ramp& coolRamp() {
    static const Ramp ramp = rampFrom({0xE3BE60, 0xE09AA6, 0x9AAF74, 0x7FADD6, 0xAEA4D4, 0xD79A78, 0x6FB8AC,
                                       0xC9BDA6, 0xAE82A6, 0xAAB2BC});
    return ramp;
}
const Ramp& mutedRamp() {
    static const Ramp ramp = rampFrom({0xDFC079, 0xD8A0A4, 0xA3B183, 0x97B2C6, 0xB0A9C6, 0xD0A184, 0x8CB8AB,
                                       0xCCC0A9, 0xAE8C9C, 0xB2AFA8});
    return ramp;
}

struct Palette {
    std::uint32_t background, surface, surfaceRaised, stroke, text, textSecondary, textTertiary, accent,
        accentSecondary, danger, success, warning;
};

constexpr Palette paletteOf(ThemeID id) {
    switch (id) {
    case ThemeID::paper:
        return {0xFAF6EC, 0xFFFDF8, 0xF2ECDE, 0xE2DACA, 0x1C1B17, 0x625E54,
                0x97907F, 0x1C1B17, 0x8A6A3E, 0xB4483C, 0x3F7A54, 0xB07C22};
    case ThemeID::linen:
        return {0xFDF5F2, 0xFFFBF9, 0xF6E8E2, 0xEBD9D1, 0x211A18, 0x6B5A55,
                0xA08D87, 0x211A18, 0xA8543F, 0xC04A3A, 0x477A5C, 0xBB7B2A};
    case ThemeID::sage:
        return {0xF4F6EE, 0xFCFDF8, 0xE9EEDF, 0xD8E0CB, 0x1A1E18, 0x59614F,
                0x8B9480, 0x1F2A1E, 0x4F7A45, 0xB0503F, 0x3D7B4E, 0xA8802A};
    case ThemeID::mist:
        return {0xF6F8FB, 0xFFFFFF, 0xEDF1F6, 0xDCE3EC, 0x161A20, 0x556074,
                0x8792A5, 0x161A20, 0x3D6EA8, 0xC0453F, 0x2F7A5E, 0xB07C22};
    case ThemeID::slate:
        return {0xF3F2F0, 0xFBFAF9, 0xEAE8E4, 0xDBD8D3, 0x1A1A19, 0x5C5B58,
                0x91908B, 0x1A1A19, 0x6B665C, 0xB0483E, 0x3D7550, 0xA87B27};
    }
    return paletteOf(ThemeID::paper);
}

const Ramp& rampOf(ThemeID id) {
    switch (id) {
    case ThemeID::paper: return warmRamp();
    case ThemeID::linen: return blushRamp();
    case ThemeID::sage: return gardenRamp();
    case ThemeID::mist: return coolRamp();
    case ThemeID::slate: return mutedRamp();
    }
    return warmRamp();
}

bool isPlainFolder(const FileNode& node) { return node.isDirectory && !node.isPackage; }

const QColor depthInk(43, 42, 38);
const QColor hoverInk(18, 17, 16);
const QColor white(255, 255, 255);

} // namespace

Theme::Theme() : Theme(ThemeID::paper) {}

Theme::Theme(ThemeID themeID) : id(themeID), isDark(false) {
    const Palette p = paletteOf(themeID);
    background = ColorRules::fromWord(p.background);
    surface = ColorRules::fromWord(p.surface);
    surfaceRaised = ColorRules::fromWord(p.surfaceRaised);
    stroke = ColorRules::fromWord(p.stroke);
    text = ColorRules::fromWord(p.text);
    textSecondary = ColorRules::fromWord(p.textSecondary);
    textTertiary = ColorRules::fromWord(p.textTertiary);
    accent = ColorRules::fromWord(p.accent);
    accentSecondary = ColorRules::fromWord(p.accentSecondary);
    danger = ColorRules::fromWord(p.danger);
    success = ColorRules::fromWord(p.success);
    warning = ColorRules::fromWord(p.warning);
    ramp = rampOf(themeID);
}

Theme Theme::make(ThemeID id) { return Theme(id); }

QString Theme::name() const { return QString::fromLatin1(ThemeIDs::title(id)); }

QColor Theme::onAccent() const { return isDark ? QColor(0x14, 0x13, 0x0F) : QColor(0xFC, 0xFA, 0xF5); }

QColor Theme::category(FileCategory category) const {
    switch (category) {
    case FileCategory::folder: return textTertiary;
    case FileCategory::app: return ramp[0];
    case FileCategory::video: return ramp[1];
    case FileCategory::code: return ramp[2];
    case FileCategory::image: return ramp[3];
    case FileCategory::audio: return ramp[4];
    case FileCategory::archive: return ramp[5];
    case FileCategory::cache: return ramp[6];
    case FileCategory::document: return ramp[7];
    case FileCategory::diskImage: return ramp[8];
    case FileCategory::data: return ramp[9];
    }
    return ramp[9];
}

QColor Theme::folderColor(const FileNode& node) const { return folderColor(node.name()); }

QColor Theme::folderColor(std::string_view name) const {
    const QColor& base = ramp[ColorRules::djb2(name) % ramp.size()];
    return ColorRules::mix(base, surface, 0.44);
}

QColor Theme::nodeColor(const FileNode& node, int depth, bool hovered) const {
    QColor color = isPlainFolder(node) ? folderColor(node) : category(node.category);
    if (depth >= 1) {
        const double d = double(depth);
        color = isDark ? ColorRules::mix(color, white, std::min(0.032 * d, 0.18))
                       : ColorRules::mix(color, depthInk, std::min(0.024 * d, 0.14));
    }
    if (hovered) color = ColorRules::mix(color, isDark ? white : hoverInk, 0.18);
    return color;
}

QColor Theme::nodeColor(const FileNode& node, int depth, int tint, ColorMode mode) const {
    switch (mode) {
    case ColorMode::type: return nodeColor(node, depth, false);
    case ColorMode::age: return ageColor(node.modified);
    case ColorMode::branch: return branchColor(node.name(), isPlainFolder(node), depth, tint);
    }
    return nodeColor(node, depth, false);
}

QColor Theme::branchColor(std::string_view name, bool isPlainFolder, int depth, int tint) const {
    const std::uint64_t n = ramp.size();
    // Widened before taking the magnitude so that the most negative int has one too.
    const std::uint64_t a = std::uint64_t(std::llabs(static_cast<long long>(tint)));
    const std::uint64_t k = ColorRules::fnv1a(name) & 3u;
    const QColor color = ColorRules::mix(ramp[a % n], ramp[(a + k + 1) % n], std::min(0.13 * double(depth), 0.5));
    return isPlainFolder ? ColorRules::mix(color, surface, 0.34) : color;
}

QColor Theme::BranchColors::of(const FileNode& node, int depth, int tint) {
    const bool plain = isPlainFolder(node);
    // A depth below 0 is no entry of the table; from 4 on the blend is the same.
    if (depth < 0) return m_theme.branchColor(node.name(), plain, depth, tint);
    const std::uint64_t n = m_theme.ramp.size();
    const std::uint64_t a = std::uint64_t(std::llabs(static_cast<long long>(tint)));
    const std::uint64_t k = ColorRules::fnv1a(node.name()) & 3u;
    const std::size_t row = std::size_t(a % n) * 4 + std::size_t(k);
    const std::size_t index = (row * depths + std::size_t(std::min(depth, depths - 1))) * 2 + (plain ? 1 : 0);
    QColor& blend = m_blends[index];
    // An entry never filled is the invalid colour; a blend of valid colours never is.
    if (!blend.isValid()) blend = m_theme.branchColor(node.name(), plain, depth, tint);
    return blend;
}

QColor Theme::ageColor(double modified) const {
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    return ageColor(modified, now);
}

QColor Theme::ageColor(double modified, double now) const {
    // A time that is not a number counts as undated rather than reaching the stop arithmetic.
    if (!(modified > 0)) return textTertiary;
    const double t = ColorRules::ageFraction((now - modified) / 86400.0);
    const std::array<const QColor*, 5> stops = {&ramp[6], &ramp[3], &ramp[0], &ramp[5], &ramp[1]};
    const int i = std::min(int(4.0 * t), 3);
    const double f = 4.0 * t - i;
    return ColorRules::mix(*stops[std::size_t(i)], *stops[std::size_t(i) + 1], f);
}

} // namespace tallymere
