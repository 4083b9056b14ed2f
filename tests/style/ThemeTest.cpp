#include "style/Theme.h"
#include "core/FileNode.h"
#include "support/TreeText.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

using namespace tallymere;

namespace {

// Colours are compared at the 8-bit precision of the palette tables.
std::string hex(const QColor& color) { return color.name(QColor::HexArgb).toStdString(); }

const FileNode& find(const FileNode& root, std::string_view name) {
    const FileNode* found = nullptr;
    root.walk([&](const FileNode& node) {
        if (!found && node.name() == name) found = &node;
        return !found;
    });
    if (!found) throw std::runtime_error("no node " + std::string(name));
    return *found;
}

constexpr double day = 86400;
constexpr double now = 1'700'000'000;

} // namespace

TEST(ThemePalettes, EveryThemeHasItsOwnPaletteAndTenRampColours) {
    // Background, surface, surfaceRaised, stroke, text, textSecondary, textTertiary, accent,
    // accentSecondary, danger, success, warning; then the ramp.
    struct Row {
        ThemeID id;
        const char* palette;
        const char* ramp;
    };
    const Row rows[] = {
        {ThemeID::paper, "faf6ec fffdf8 f2ecde e2daca 1c1b17 625e54 97907f 1c1b17 8a6a3e b4483c 3f7a54 b07c22",
         "e9c25c e2929f 9db16b 8fb4d0 b3a6ce db9a6e 7fbba2 d3c2a3 b57e96 b9b2a3"},
        {ThemeID::linen, "fdf5f2 fffbf9 f6e8e2 ebd9d1 211a18 6b5a55 a08d87 211a18 a8543f c04a3a 477a5c bb7b2a",
         "ebbe68 e49aa4 a3b173 93b2ce bba9ce e0a07a 84bca8 d8c4ab be859b c0b3a8"},
        {ThemeID::sage, "f4f6ee fcfdf8 e9eedf d8e0cb 1a1e18 59614f 8b9480 1f2a1e 4f7a45 b0503f 3d7b4e a8802a",
         "ddbe5c d98f92 8fab63 87adc4 a9a2c6 ce9264 74b195 cbbb9c ac7a8c acac9c"},
        {ThemeID::mist, "f6f8fb ffffff edf1f6 dce3ec 161a20 556074 8792a5 161a20 3d6ea8 c0453f 2f7a5e b07c22",
         "e3be60 e09aa6 9aaf74 7fadd6 aea4d4 d79a78 6fb8ac c9bda6 ae82a6 aab2bc"},
        {ThemeID::slate, "f3f2f0 fbfaf9 eae8e4 dbd8d3 1a1a19 5c5b58 91908b 1a1a19 6b665c b0483e 3d7550 a87b27",
         "dfc079 d8a0a4 a3b183 97b2c6 b0a9c6 d0a184 8cb8ab ccc0a9 ae8c9c b2afa8"},
    };
    auto joined = [](const auto& colors) {
        std::string text;
        for (const QColor& color : colors) {
            EXPECT_EQ(color.alpha(), 255);
            text += (text.empty() ? "" : " ") + color.name().toStdString().substr(1);
        }
        return text;
    };
    for (const Row& row : rows) {
        const Theme theme = Theme::make(row.id);
        SCOPED_TRACE(theme.name().toStdString());
        EXPECT_EQ(theme.id, row.id);
        EXPECT_FALSE(theme.isDark);
        const QColor palette[] = {theme.background,  theme.surface, theme.surfaceRaised, theme.stroke,
                                  theme.text,        theme.textSecondary, theme.textTertiary, theme.accent,
                                  theme.accentSecondary, theme.danger, theme.success,     theme.warning};
        EXPECT_EQ(joined(palette), row.palette);
        EXPECT_EQ(joined(theme.ramp), row.ramp);
        EXPECT_EQ(theme.onAccent().name().toStdString(), "#fcfaf5");
    }
    EXPECT_EQ(Theme().id, ThemeID::paper);
    EXPECT_EQ(Theme::make(ThemeID::linen).name(), QStringLiteral("Linen"));
}

TEST(ThemePalettes, RawValuesMatchExactlyAndCaseSensitively) {
    EXPECT_EQ(ThemeIDs::fromRaw("paper"), ThemeID::paper);
    EXPECT_EQ(ThemeIDs::fromRaw("Paper"), std::nullopt);
    EXPECT_EQ(ThemeIDs::fromRaw(""), std::nullopt);
    EXPECT_EQ(ColorModes::fromRaw("branch"), ColorMode::branch);
    EXPECT_EQ(ColorModes::fromRaw("Branch"), std::nullopt);
}

TEST(ThemeCategories, FolderIsTertiaryTextAndOthersFollowTheRamp) {
    for (ThemeID id : ThemeIDs::all) {
        const Theme theme = Theme::make(id);
        EXPECT_EQ(theme.category(FileCategory::folder), theme.textTertiary);
        const std::pair<FileCategory, int> order[] = {
            {FileCategory::app, 0},      {FileCategory::video, 1},    {FileCategory::code, 2},
            {FileCategory::image, 3},    {FileCategory::audio, 4},    {FileCategory::archive, 5},
            {FileCategory::cache, 6},    {FileCategory::document, 7}, {FileCategory::diskImage, 8},
            {FileCategory::data, 9},
        };
        for (auto [category, index] : order) EXPECT_EQ(theme.category(category), theme.ramp[std::size_t(index)]);
    }
}

TEST(ColorMix, AmountIsClampedAndTheReceiverKeepsItsOpacity) {
    const QColor red(200, 40, 20);
    const QColor blue(10, 20, 250);
    EXPECT_EQ(hex(ColorRules::mix(red, blue, -1)), hex(red));
    EXPECT_EQ(hex(ColorRules::mix(red, blue, 2)), hex(blue));
    EXPECT_EQ(hex(ColorRules::mix(red, blue, 0.5)), hex(QColor(105, 30, 135)));

    QColor halfRed = red;
    halfRed.setAlphaF(0.5f);
    QColor clearBlue = blue;
    clearBlue.setAlpha(0);
    const QColor mixed = ColorRules::mix(halfRed, clearBlue, 1);
    EXPECT_NEAR(mixed.alphaF(), 0.5, 0.001);
    EXPECT_EQ(mixed.red(), 10);

    // Colours that cannot be read fall back: black for the receiver, white for the other.
    EXPECT_EQ(hex(ColorRules::mix(QColor(), QColor(100, 100, 100), 0)), "#ff000000");
    EXPECT_EQ(hex(ColorRules::mix(red, QColor(), 1)), "#ffffffff");
    // Colours given in another model blend by their sRGB components.
    EXPECT_EQ(hex(ColorRules::mix(QColor::fromHsv(0, 255, 255), QColor(0, 0, 255), 0)), "#ffff0000");
}

TEST(ColorHashes, KnownValues) {
    EXPECT_EQ(ColorRules::djb2(""), 5381u);
    EXPECT_EQ(ColorRules::djb2("a"), 5381u * 33 + 97);
    EXPECT_EQ(ColorRules::fnv1a(""), 2166136261u);
    EXPECT_EQ(ColorRules::fnv1a("a"), 0xE40C292Cu);
    EXPECT_EQ(ColorRules::fnv1a("foobar"), 0xBF9CF968u);
    // Bytes above 0x7F are hashed as unsigned values.
    EXPECT_EQ(ColorRules::djb2("\xff"), 5381u * 33 + 255);
    // A long name wraps instead of overflowing into undefined behaviour.
    EXPECT_NE(ColorRules::djb2(std::string(200, 'z')), 0u);
}

TEST(FolderColor, StablePerNameAndLightenedTowardSurface) {
    const Theme theme;
    EXPECT_EQ(hex(theme.folderColor(std::string_view())), hex(ColorRules::mix(theme.ramp[1], theme.surface, 0.44)));
    // djb2("a") = 177670, which picks ramp[0].
    EXPECT_EQ(hex(theme.folderColor(std::string_view("a"))), hex(ColorRules::mix(theme.ramp[0], theme.surface, 0.44)));

    auto tree = test::treeFromText("root/\n  src/\n    x.c 1\n  deep/\n    src/\n      y.c 1\n");
    const FileNode& top = *tree->children()[0];
    const FileNode& nested = *tree->children()[1]->children()[0];
    EXPECT_EQ(top.name(), nested.name());
    EXPECT_EQ(theme.folderColor(top), theme.folderColor(nested));
}

TEST(NodeColorShading, DepthDarkensUpToTheCapAndHoverInks) {
    const Theme theme = Theme::make(ThemeID::mist);
    auto tree = test::treeFromText("root/\n  movie.mp4 10\n  Tool.app/ package\n  docs/\n");
    const FileNode& movie = find(*tree, "movie.mp4");
    const QColor base = theme.ramp[1];
    const QColor ink(43, 42, 38);
    EXPECT_EQ(theme.nodeColor(movie, 0, false), base);
    EXPECT_EQ(theme.nodeColor(movie, -3, false), base);
    EXPECT_EQ(hex(theme.nodeColor(movie, 1, false)), hex(ColorRules::mix(base, ink, 0.024)));
    EXPECT_EQ(hex(theme.nodeColor(movie, 5, false)), hex(ColorRules::mix(base, ink, 0.12)));
    // 6 × 0.024 = 0.144 is held to 0.14; deeper stays there.
    EXPECT_EQ(hex(theme.nodeColor(movie, 6, false)), hex(ColorRules::mix(base, ink, 0.14)));
    EXPECT_EQ(hex(theme.nodeColor(movie, 60, false)), hex(ColorRules::mix(base, ink, 0.14)));
    EXPECT_EQ(hex(theme.nodeColor(movie, 0, true)), hex(ColorRules::mix(base, QColor(18, 17, 16), 0.18)));
    EXPECT_EQ(hex(theme.nodeColor(movie, 2, true)),
              hex(ColorRules::mix(ColorRules::mix(base, ink, 0.048), QColor(18, 17, 16), 0.18)));

    // A package is drawn as a file of its category; a plain folder by its name.
    EXPECT_EQ(theme.nodeColor(find(*tree, "Tool.app"), 0, false), theme.category(FileCategory::app));
    EXPECT_EQ(theme.nodeColor(find(*tree, "docs"), 0, false), theme.folderColor(std::string_view("docs")));
}

TEST(NodeColorBranch, TintNameAndDepthChooseTheBlend) {
    const Theme theme = Theme::make(ThemeID::sage);
    const auto& ramp = theme.ramp;
    // The empty name hashes to k = 1: it leans toward two entries along the ramp.
    EXPECT_EQ(hex(theme.branchColor("", false, 4, 3)), hex(ColorRules::mix(ramp[3], ramp[5], 0.5)));
    EXPECT_EQ(theme.branchColor("", false, 4, 3), theme.branchColor("", false, 10, 3));
    EXPECT_EQ(theme.branchColor("x", false, 2, -3), theme.branchColor("x", false, 2, 3));
    EXPECT_EQ(theme.branchColor("x", false, 0, 13), ramp[3]);
    EXPECT_EQ(theme.branchColor("x", false, -2, 13), ramp[3]);
    // "a" hashes to k = 0: the next ramp entry, wrapping past the end.
    EXPECT_EQ(hex(theme.branchColor("a", false, 1, 9)), hex(ColorRules::mix(ramp[9], ramp[0], 0.13)));
    EXPECT_EQ(hex(theme.branchColor("a", true, 1, 9)),
              hex(ColorRules::mix(ColorRules::mix(ramp[9], ramp[0], 0.13), theme.surface, 0.34)));
    // The most negative tint has a magnitude too.
    EXPECT_TRUE(theme.branchColor("a", false, 1, INT_MIN).isValid());

    auto tree = test::treeFromText("root/\n  Tool.app/ package\n  lib/\n");
    const FileNode& package = find(*tree, "Tool.app");
    const FileNode& folder = find(*tree, "lib");
    EXPECT_EQ(theme.nodeColor(package, 2, 4, ColorMode::branch), theme.branchColor("Tool.app", false, 2, 4));
    EXPECT_EQ(theme.nodeColor(folder, 2, 4, ColorMode::branch), theme.branchColor("lib", true, 2, 4));
}

// The blends kept for a view give what the theme gives, the first time and every later time, for
// every kind of node, depth (below zero and past the cap) and tint (the most negative included).
TEST(NodeColorBranch, KeptBlendsMatchTheTheme) {
    auto tree =
        test::treeFromText("root/\n  Tool.app/ package\n  lib/\n    a\n    x 5\n  docs/\n    b.txt 3\n  c.mp4 9\n");
    std::vector<const FileNode*> nodes;
    tree->walk([&](const FileNode& node) {
        nodes.push_back(&node);
        return true;
    });
    for (ThemeID id : {ThemeID::paper, ThemeID::slate}) {
        const Theme theme = Theme::make(id);
        Theme::BranchColors kept(theme);
        for (int pass = 0; pass < 2; ++pass)
            for (const FileNode* node : nodes)
                for (int depth : {-2, 0, 1, 3, 4, 5, 9})
                    for (int tint : {0, 1, 7, 9, 10, 23, -3, INT_MIN, INT_MAX})
                        ASSERT_EQ(kept.of(*node, depth, tint), theme.nodeColor(*node, depth, tint, ColorMode::branch))
                            << node->name() << " depth " << depth << " tint " << tint;
    }
}

TEST(AgeColor, StopsAndBoundaries) {
    EXPECT_NEAR(ColorRules::ageFraction(1), 0.092, 0.001);
    EXPECT_NEAR(ColorRules::ageFraction(30), 0.457, 0.001);
    EXPECT_NEAR(ColorRules::ageFraction(365), 0.786, 0.001);
    EXPECT_EQ(ColorRules::ageFraction(1826), 1.0);
    EXPECT_EQ(ColorRules::ageFraction(-5), 0.0);

    for (ThemeID id : ThemeIDs::all) {
        const Theme theme = Theme::make(id);
        SCOPED_TRACE(theme.name().toStdString());
        const auto& ramp = theme.ramp;
        EXPECT_EQ(theme.ageColor(0, now), theme.textTertiary);
        EXPECT_EQ(theme.ageColor(-100, now), theme.textTertiary);
        EXPECT_EQ(theme.ageColor(std::nan(""), now), theme.textTertiary);
        EXPECT_EQ(hex(theme.ageColor(now + 1000 * day, now)), hex(ramp[6]));
        EXPECT_EQ(hex(theme.ageColor(now, now)), hex(ramp[6]));
        EXPECT_EQ(hex(theme.ageColor(now - 1826 * day, now)), hex(ramp[1]));
        EXPECT_EQ(hex(theme.ageColor(now - 9000 * day, now)), hex(ramp[1]));
        // Ages at which 4t is exactly 1, 2 and 3 land on the inner stops.
        const double quarter = std::pow(1827.0, 0.25) - 1;
        const double half = std::pow(1827.0, 0.5) - 1;
        const double threeQuarters = std::pow(1827.0, 0.75) - 1;
        EXPECT_EQ(hex(theme.ageColor(now - quarter * day, now)), hex(ramp[3]));
        EXPECT_EQ(hex(theme.ageColor(now - half * day, now)), hex(ramp[0]));
        EXPECT_EQ(hex(theme.ageColor(now - threeQuarters * day, now)), hex(ramp[5]));
        // Thirty days (t ≈ 0.457) sits between the second and third stops.
        const double t = ColorRules::ageFraction(30);
        EXPECT_EQ(hex(theme.ageColor(now - 30 * day, now)), hex(ColorRules::mix(ramp[3], ramp[0], 4 * t - 1)));
    }
}

TEST(NodeColorModes, EachModeUsesItsRuleInEveryTheme) {
    auto tree = test::treeFromText("root/\n  clip.mov 5 mtime=1600000000\n  undated.txt 1\n");
    const FileNode& clip = find(*tree, "clip.mov");
    const FileNode& undated = find(*tree, "undated.txt");
    for (ThemeID id : ThemeIDs::all) {
        const Theme theme = Theme::make(id);
        for (ColorMode mode : ColorModes::all) {
            SCOPED_TRACE(std::string(ThemeIDs::rawValue(id)) + "/" + std::string(ColorModes::rawValue(mode)));
            const QColor color = theme.nodeColor(clip, 3, 7, mode);
            EXPECT_TRUE(color.isValid());
            EXPECT_EQ(color.alpha(), 255);
            switch (mode) {
            case ColorMode::type: EXPECT_EQ(color, theme.nodeColor(clip, 3, false)); break;
            case ColorMode::branch: EXPECT_EQ(color, theme.branchColor("clip.mov", false, 3, 7)); break;
            case ColorMode::age:
                // Depth and tint play no part.
                EXPECT_EQ(hex(color), hex(theme.nodeColor(clip, 0, 0, mode)));
                EXPECT_EQ(hex(color), hex(theme.ageColor(clip.modified)));
                EXPECT_EQ(theme.nodeColor(undated, 3, 7, mode), theme.textTertiary);
                break;
            }
        }
    }
}
