#include "app/ScreenshotHarness.h"

#include "state/AppStateTestSupport.h"
#include "support/EndsWithin.h"
#include "support/StallingFuse.h"
#include "support/Unprivileged.h"
#include "style/Theme.h"
#include "views/settings/PreferencesView.h"

#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace tallymere;
using namespace tallymere::ScreenshotHarness;
using tallymere::test::TempFolder;

namespace {

Request parseLine(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "tallymere");
    return parse(arguments);
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct ProgramRun {
    int status = -1;
    QString out;
    QString err;
};

// Runs the built program without a display, its preferences in `configHome`.
ProgramRun runProgram(const QStringList& arguments, const std::string& configHome, const QString& scale = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_SCALE_FACTOR"})
        environment.remove(QString::fromLatin1(name));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(configHome));
    if (!scale.isEmpty()) environment.insert("QT_SCALE_FACTOR", scale);
    process.setProcessEnvironment(environment);
    process.start(QString::fromLocal8Bit(qgetenv("TALLYMERE_BINARY")), arguments);
    ProgramRun run;
    // The limit only keeps a broken build from hanging the suite.
    if (!process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

bool haveBinary() { return !qgetenv("TALLYMERE_BINARY").isEmpty(); }

} // namespace

TEST(ShotRequest, SettingsFlagWinsWhereverItStands) {
    EXPECT_EQ(parseLine({"--shot-settings", "s.png"}), Request(SettingsShot{"s.png"}));
    EXPECT_EQ(parseLine({"--shot", "/data", "w.png", "--shot-settings", "s.png"}), Request(SettingsShot{"s.png"}));
    EXPECT_EQ(parseLine({"--shot-settings", "s.png", "--shot", "/data", "w.png"}), Request(SettingsShot{"s.png"}));
}

TEST(ShotRequest, IncompleteRequestsStartTheApplication) {
    EXPECT_TRUE(std::holds_alternative<std::monostate>(parseLine({})));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(parseLine({"--shot-settings"})));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(parseLine({"--shot", "/data"})));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(parseLine({"--SHOT", "/data", "w.png"})));
    // A trailing settings flag without its path leaves a complete window request in force.
    EXPECT_EQ(parseLine({"--shot", "/data", "w.png", "--shot-settings"}),
              Request(WindowShot{"/data", "w.png", std::nullopt, std::nullopt, std::nullopt}));
}

TEST(ShotRequest, OptionalValuesByPositionAndExactRawValue) {
    EXPECT_EQ(parseLine({"--shot", "/data", "w.png", "explore", "mindmap", "slate"}),
              Request(WindowShot{"/data", "w.png", WorkspaceTab::explore, VizMode::mindmap, ThemeID::slate}));
    EXPECT_EQ(parseLine({"--shot", "/data", "w.png", "apps"}),
              Request(WindowShot{"/data", "w.png", WorkspaceTab::apps, std::nullopt, std::nullopt}));
    // The toolkit's own options may follow; they are not the shot's words.
    EXPECT_EQ(parseLine({"--shot", "/data", "w.png", "explore", "-platform", "offscreen"}),
              Request(WindowShot{"/data", "w.png", WorkspaceTab::explore, std::nullopt, std::nullopt}));
    // A word that is not a raw value of its place is not understood, whatever else is asked.
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"Explore", "pack", "dark"}, {"explore", "pack", "dark"}, {"explore", "sunbrust"},
          {"treemap"}, {"apps", "table", "paper", "slate"}, {""}}) {
        std::vector<std::string> arguments{"--shot", "/data", "w.png"};
        arguments.insert(arguments.end(), words.begin(), words.end());
        const Request request = parseLine(arguments);
        // A fourth word is left to the command line, which takes it as a stray path.
        if (words.size() == 4) EXPECT_TRUE(std::holds_alternative<WindowShot>(request));
        else EXPECT_EQ(request, Request(Malformed{})) << words.front();
        arguments.insert(arguments.end(), {"--shot-settings", "s.png"});
        if (words.size() != 4) {
            EXPECT_EQ(parseLine(arguments), Request(Malformed{}));
        }
    }

    // The tool tabs get the long settling wait; the explorer or no tab the short one.
    auto wait = [](std::vector<std::string> arguments) {
        return settleSeconds(std::get<WindowShot>(parseLine(std::move(arguments))).tab);
    };
    EXPECT_EQ(wait({"--shot", "/data", "w.png", "apps"}), 14);
    EXPECT_EQ(wait({"--shot", "/data", "w.png", "snapshots"}), 14);
    EXPECT_EQ(wait({"--shot", "/data", "w.png", "explore"}), 2.2);
    EXPECT_EQ(wait({"--shot", "/data", "w.png"}), 2.2);
}

TEST(ShotFile, ReplacesInOneStepWithPlainPermissions) {
    TempFolder dir;
    std::string path = dir / "out.png";
    std::string error;
    ASSERT_TRUE(writeFile(path, QByteArray("first"), error)) << error;
    ASSERT_TRUE(writeFile(path, QByteArray("second"), error)) << error;
    EXPECT_EQ(readAll(path), "second");
    mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(ShotFile, UnwritablePlacesFailWithTheSystemsReason) {
    TempFolder dir;
    std::string error;
    EXPECT_FALSE(writeFile(dir / "missing/out.png", QByteArray("x"), error));
    EXPECT_FALSE(error.empty());

    dir.file("plain", 3);
    EXPECT_FALSE(writeFile(dir / "plain/out.png", QByteArray("x"), error));

    // A folder in the way stays as it was and leaves no scratch file.
    dir.folder("taken");
    EXPECT_FALSE(writeFile(dir / "taken", QByteArray("x"), error));
    EXPECT_EQ(error, "Is a directory");
    EXPECT_FALSE(writeFile(dir / "taken/", QByteArray("x"), error));
    EXPECT_EQ(error, "Is a directory") << "a trailing slash names the same folder";
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);

    // A FIFO, or a link, is never replaced by the picture.
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
    std::filesystem::create_symlink(dir / "plain", dir / "link");
    for (const char* name : {"pipe", "link"}) {
        EXPECT_FALSE(writeFile(dir / name, QByteArray("x"), error)) << name;
        EXPECT_EQ(error, "not a regular file");
        EXPECT_EQ(unusableOutput(dir / name), (dir / name) + " is not a regular file");
    }
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "pipe"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
    EXPECT_EQ(readAll(dir / "plain"), "xxx");
    EXPECT_EQ(unusableOutput(dir / "taken"), (dir / "taken") + " is not a regular file");
    EXPECT_EQ(unusableOutput(dir / "plain"), "");
    EXPECT_EQ(unusableOutput(dir / "new.png"), "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4);

    dir.folder("locked");
    ::chmod((dir / "locked").c_str(), 0555);
    ::chmod(dir.path().c_str(), 0755);
    // Root writes anywhere, so the unwritable folder is tried as another user.
    test::runUnprivileged([&] {
        std::string lockedError;
        EXPECT_FALSE(writeFile(dir / "locked/out.png", QByteArray("x"), lockedError));
        EXPECT_EQ(lockedError, "Permission denied");
    });
    ::chmod((dir / "locked").c_str(), 0755);
}

// An output on a mount that stopped answering, or a local link leading onto one: the picture is not
// stored, the reason says so, and the process can end while the mount stays stuck.
TEST(ShotFile, AnOutputOnAMountThatStoppedAnsweringFailsAndHoldsNothing) {
    TempFolder dir;
    const std::string mount = dir.folder("net");
    std::filesystem::create_symlink(mount + "/file.txt", dir / "link.png");
    const bool ran = test::runInPrivateMounts([&] {
        test::StallingFuse fuse(mount);
        if (!fuse.isMounted()) test::cannotRunHere("no FUSE mount here");
        fuse.stall();
        const bool ended = test::endsWithin(60, [&] {
            std::string error;
            EXPECT_EQ(unusableOutput(mount + "/out.png"), "");
            EXPECT_FALSE(writeFile(mount + "/out.png", QByteArray("x"), error));
            EXPECT_EQ(error, "Its file system does not answer");
            EXPECT_FALSE(writeFile(dir / "link.png", QByteArray("x"), error));
            EXPECT_EQ(error, "not a regular file");
        });
        EXPECT_TRUE(ended) << "the picture's output waits on the mount";
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

TEST(ShotCapture, PictureAtTheWidgetsPixelRatio) {
    QWidget widget;
    widget.resize(120, 80);
    widget.setAutoFillBackground(true);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, QColor("#F4F6EE"));
    widget.setPalette(palette);
    int status = -1;
    std::string message;
    QByteArray png = capturePng(widget, status, message);
    ASSERT_FALSE(png.isEmpty());
    EXPECT_EQ(status, 0);
    QImage image = QImage::fromData(png, "PNG");
    EXPECT_EQ(image.size(), QSize(120, 80) * widget.devicePixelRatioF());
    EXPECT_EQ(image.pixelColor(10, 10), QColor("#F4F6EE"));

    QWidget empty;
    empty.resize(0, 0);
    EXPECT_TRUE(capturePng(empty, status, message).isEmpty());
    EXPECT_EQ(status, 2);
    EXPECT_EQ(message, "no bitmap rep");
}

TEST(ShotProgram, SettingsPictureWinsOverTheWindowPicture) {
    if (!haveBinary()) GTEST_SKIP() << "TALLYMERE_BINARY is not set";
    TempFolder dir;
    dir.file("tree/a.bin", 1000);
    std::string out = dir / "settings.png";
    ProgramRun run = runProgram({"--shot", QString::fromStdString(dir / "tree"), QString::fromStdString(dir / "window.png"),
                          "--shot-settings", QString::fromStdString(out)},
                         dir / "config");
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.toStdString(), "wrote " + out + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "window.png"));
    QImage image(QString::fromStdString(out));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(460, 400));
    // Drawn light, in the desktop's form colours rather than the theme's.
    std::unique_ptr<QStyle> fusion(QStyleFactory::create("Fusion"));
    EXPECT_EQ(image.pixelColor(3, 3), fusion->standardPalette().color(QPalette::Window));
    EXPECT_NE(image.pixelColor(3, 3), Theme::make(ThemeID::paper).background);
}

TEST(ShotProgram, SettingsPictureFollowsTheScreensPixelRatio) {
    if (!haveBinary()) GTEST_SKIP() << "TALLYMERE_BINARY is not set";
    TempFolder dir;
    std::string out = dir / "settings@2x.png";
    ProgramRun run = runProgram({"--shot-settings", QString::fromStdString(out)}, dir / "config", "2");
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    QImage image(QString::fromStdString(out));
    EXPECT_EQ(image.size(), QSize(920, 800));
}

TEST(ShotProgram, WindowPictureInTheChosenThemeStoresTheChoices) {
    if (!haveBinary()) GTEST_SKIP() << "TALLYMERE_BINARY is not set";
    TempFolder dir;
    dir.file("tree/docs/report.pdf", 200000);
    dir.file("tree/notes.txt", 3000);
    std::string out = dir / "window.png";
    ProgramRun run = runProgram({"--shot", QString::fromStdString(dir / "tree"), QString::fromStdString(out), "explore",
                          "mindmap", "slate"},
                         dir / "config");
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.toStdString(), "wrote " + out + " (1520x940)\n");
    QImage image(QString::fromStdString(out));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(1520, 940));
    Theme slate = Theme::make(ThemeID::slate);
    EXPECT_EQ(image.pixelColor(4, 4), slate.background);
    EXPECT_EQ(image.pixelColor(760, 900), slate.background);

    QSettings stored(QString::fromStdString(dir / "config/Tallymere/Tallymere.conf"), QSettings::IniFormat);
    EXPECT_EQ(stored.value("vizMode").toString(), "mindmap");
    EXPECT_EQ(stored.value("themeID").toString(), "slate");
}

TEST(ShotProgram, UnwritableOutputIsAnErrorNeverWrote) {
    if (!haveBinary()) GTEST_SKIP() << "TALLYMERE_BINARY is not set";
    TempFolder dir;
    std::string out = dir / "missing/settings.png";
    ProgramRun run = runProgram({"--shot-settings", QString::fromStdString(out)}, dir / "config");
    EXPECT_EQ(run.status, writeFailedStatus);
    EXPECT_FALSE(run.out.contains("wrote"));
    EXPECT_TRUE(run.err.contains(QString::fromStdString("cannot write " + out))) << run.err.toStdString();
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(ShotProgram, AFifoAtTheOutputOrAnUnknownOrStrayWordIsRefusedBeforeAnyPicture) {
    if (!haveBinary()) GTEST_SKIP() << "TALLYMERE_BINARY is not set";
    TempFolder dir;
    dir.file("tree/a.bin", 1000);
    const std::string pipe = dir / "out.png";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    for (const QStringList& arguments :
         {QStringList{"--shot-settings", QString::fromStdString(pipe)},
          QStringList{"--shot", QString::fromStdString(dir / "tree"), QString::fromStdString(pipe), "explore"}}) {
        const ProgramRun run = runProgram(arguments, dir / "config");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.toStdString(), pipe + " is not a regular file\n");
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(std::filesystem::is_fifo(pipe));
    }

    const std::string out = dir / "window.png";
    const QString tree = QString::fromStdString(dir / "tree");
    for (const QStringList& arguments : {QStringList{"--shot", tree, QString::fromStdString(out), "explore", "sunbrust"},
                                         QStringList{"--shot", tree, QString::fromStdString(out), "extra"},
                                         QStringList{"--shot-settings", QString::fromStdString(out), "extra"}}) {
        const ProgramRun run = runProgram(arguments, dir / "config");
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.err.startsWith("usage: tallymere ")) << run.err.toStdString();
        EXPECT_EQ(run.err.count('\n'), 1);
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST(ShotProgram, AFolderThatIsNotThereIsPicturedWithTheScansErrorBanner) {
    if (!haveBinary()) GTEST_SKIP() << "TALLYMERE_BINARY is not set";
    TempFolder dir;
    const std::string missing = dir / "missing";
    const std::string out = dir / "window.png";
    const ProgramRun run = runProgram(
        {"--shot", QString::fromStdString(missing), QString::fromStdString(out), "explore", "treemap", "paper"},
        dir / "config");
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.toStdString(), "wrote " + out + " (1520x940)\n");
    const QImage image(QString::fromStdString(out));
    ASSERT_FALSE(image.isNull());
    // The banner lies at the foot of the workspace, right of the sidebar; its error symbol is the
    // only mark there in the danger colour.
    const QColor danger = Theme::make(ThemeID::paper).danger;
    int dangerPixels = 0;
    for (int y = image.height() - 150; y < image.height(); ++y)
        for (int x = 300; x < image.width(); ++x) dangerPixels += image.pixelColor(x, y) == danger;
    EXPECT_GT(dangerPixels, 40);
}
