#include "style/Typography.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tallymere;

namespace {

QString bundledFonts() { return QCoreApplication::applicationDirPath() + QStringLiteral("/Fonts"); }

// The font-isolation tests run in a child process whose font configuration lists no folders, so
// only what bootstrap() registers exists there.
constexpr auto isolationVariable = "TALLYMERE_FONT_ISOLATION";

int runIsolated(const QString& scenario) {
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("fonts.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) return -1;
    file.write("<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
               "<cachedir>" + dir.filePath(QStringLiteral("cache")).toUtf8() + "</cachedir>\n</fontconfig>\n");
    file.close();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FONTCONFIG_FILE"), config);
    env.insert(QString::fromLatin1(isolationVariable), scenario);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=FontIsolation.*")});
    if (!child.waitForFinished(120000)) return -2;
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -3;
}

QString isolationScenario() { return qEnvironmentVariable(isolationVariable); }

} // namespace

TEST(TypographyFaces, NamedWeightsPickTheirFaceAndEverythingElseIsRegular) {
    EXPECT_EQ(Typography::face(QFont::ExtraLight), "Inter-Thin");
    EXPECT_EQ(Typography::face(QFont::Thin), "Inter-Thin");
    EXPECT_EQ(Typography::face(QFont::Light), "Inter-Light");
    EXPECT_EQ(Typography::face(QFont::Normal), "Inter-Regular");
    EXPECT_EQ(Typography::face(QFont::Medium), "Inter-Medium");
    EXPECT_EQ(Typography::face(QFont::DemiBold), "Inter-SemiBold");
    EXPECT_EQ(Typography::face(QFont::Bold), "Inter-Bold");
    EXPECT_EQ(Typography::face(QFont::ExtraBold), "Inter-ExtraBold");
    EXPECT_EQ(Typography::face(QFont::Black), "Inter-Black");
    EXPECT_EQ(Typography::face(QFont::Weight(450)), "Inter-Regular");
    EXPECT_EQ(Typography::face(QFont::Weight(650)), "Inter-Regular");
}

TEST(TypographyRule, InterIsSetAtNinetySixPercent) {
    EXPECT_DOUBLE_EQ(Typography::scaledSize(8), 7.68);
    EXPECT_DOUBLE_EQ(Typography::scaledSize(10), 9.6);
    EXPECT_DOUBLE_EQ(Typography::scaledSize(11), 10.56);
    EXPECT_DOUBLE_EQ(Typography::scaledSize(11.5), 11.04);
    EXPECT_DOUBLE_EQ(Typography::scaledSize(15), 14.4);
    // Logical pixels are whole: the scaled size is rounded to the nearest one.
    EXPECT_EQ(Typography::font(15, QFont::Bold, true).pixelSize(), 14);
    EXPECT_EQ(Typography::font(8, QFont::Bold, true).pixelSize(), 8);
    EXPECT_EQ(Typography::font(44, QFont::Bold, true).pixelSize(), 42);
}

TEST(TypographyRule, EveryWeightResolvesToItsInterFace) {
    ASSERT_TRUE(Typography::bootstrap(bundledFonts()));
    ASSERT_TRUE(Typography::isAvailable());
    const std::pair<QFont::Weight, const char*> faces[] = {
        {QFont::Thin, "Thin"},       {QFont::Light, "Light"}, {QFont::Normal, "Regular"},
        {QFont::Medium, "Medium"},   {QFont::DemiBold, "SemiBold"}, {QFont::Bold, "Bold"},
        {QFont::ExtraBold, "ExtraBold"}, {QFont::Black, "Black"},
    };
    for (auto [weight, style] : faces) {
        const QFontInfo info(Typography::font(10, weight));
        EXPECT_EQ(info.family(), "Inter") << style;
        EXPECT_EQ(info.styleName().remove(QLatin1Char(' ')), QLatin1String(style));
        EXPECT_EQ(info.pixelSize(), 10);
    }
}

TEST(TypographyRule, WithoutInterTheSystemFontKeepsTheNominalSizeAndWeight) {
    const QFont font = Typography::font(10, QFont::Bold, false);
    EXPECT_EQ(font.family(), QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    EXPECT_EQ(font.pixelSize(), 10);
    EXPECT_EQ(font.weight(), QFont::Bold);
    EXPECT_EQ(Typography::font(13, QFont::Light, false).pixelSize(), 13);
}

TEST(TypographyBootstrap, FacesOnlyInTheFontsFolderAreRegisteredForTheProcess) {
    EXPECT_EQ(runIsolated(QStringLiteral("bundled")), 0);
}

TEST(TypographyBootstrap, NoUsableFacesLeaveTheSystemFont) {
    EXPECT_EQ(runIsolated(QStringLiteral("empty")), 0);
}

// Run only inside the child process started above.
TEST(FontIsolation, Scenario) {
    const QString scenario = isolationScenario();
    if (scenario.isEmpty()) GTEST_SKIP() << "runs in a child process";
    ASSERT_FALSE(QFontDatabase::families().contains(QStringLiteral("Inter")));
    if (scenario == QLatin1String("bundled")) {
        EXPECT_TRUE(Typography::bootstrap(bundledFonts()));
        EXPECT_TRUE(Typography::isAvailable());
        EXPECT_EQ(QFontInfo(Typography::font(12, QFont::DemiBold)).family(), "Inter");
        EXPECT_TRUE(QFontDatabase::families().contains(QStringLiteral("Material Icons")));
    } else {
        QTemporaryDir empty;
        EXPECT_FALSE(Typography::bootstrap(empty.path()));
        EXPECT_FALSE(Typography::bootstrap(empty.path() + QStringLiteral("/missing")));
        EXPECT_FALSE(Typography::isAvailable());
        const QFont font = Typography::font(10, QFont::DemiBold);
        EXPECT_NE(font.family(), "Inter");
        EXPECT_EQ(font.pixelSize(), 10);
        EXPECT_EQ(font.weight(), QFont::DemiBold);
    }
}
