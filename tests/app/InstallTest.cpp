// The program as the desktop knows it: what `cmake --install` puts under a prefix, the entry the
// desktop's menus read, the icon, and the installed program working from there.
#include "app/AppIcon.h"
#include "app/TallymereApp.h"
#include "state/AppStateTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <fstream>
#include <map>

using namespace tallymere;
using tallymere::test::TempFolder;

namespace {

QString binary() { return QString::fromLocal8Bit(qgetenv("TALLYMERE_BINARY")); }

struct Outcome {
    int exitCode = -1;
    QString out, err;
};

Outcome run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment = {}) {
    QProcess process;
    if (!environment.isEmpty()) process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Outcome result;
    if (!process.waitForFinished(300000)) return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// The keys of the [Desktop Entry] group, read as plain lines (the format is not INI enough for
// QSettings: it would split the lists at their semicolons).
std::map<QString, QString> entryKeys(const QString& path) {
    std::map<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return keys;
    bool inEntry = false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith('[')) inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.contains('=')) keys[line.section('=', 0, 0)] = line.section('=', 1);
    }
    return keys;
}

} // namespace

TEST(Install, PutsTheProgramItsEntryAndItsIconInTheStandardPlaces) {
    if (binary().isEmpty()) GTEST_SKIP() << "TALLYMERE_BINARY is not set";
    const QString cmake = QStandardPaths::findExecutable(QStringLiteral("cmake"));
    ASSERT_FALSE(cmake.isEmpty());
    TempFolder prefix;
    const QString build = QFileInfo(binary()).absolutePath();
    const Outcome install = run(cmake, {"--install", build, "--prefix", QString::fromStdString(prefix.path())});
    ASSERT_EQ(install.exitCode, 0) << install.out.toStdString() << install.err.toStdString();

    const QString root = QString::fromStdString(prefix.path());
    const QFileInfo program(root + "/bin/tallymere");
    EXPECT_TRUE(program.isFile() && program.isExecutable());
    const QString entry = root + "/share/applications/tallymere.desktop";
    const QString icon = root + "/share/icons/hicolor/scalable/apps/tallymere.svg";
    ASSERT_TRUE(QFileInfo(entry).isFile());
    ASSERT_TRUE(QFileInfo(icon).isFile());
    EXPECT_FALSE(QDir(root + "/share/tallymere/Fonts").entryList({"Inter-*"}).isEmpty());

    // The entry as the desktop reads it, and as the desktop's own checker finds it.
    const auto keys = entryKeys(entry);
    EXPECT_EQ(keys.at("Type"), "Application");
    EXPECT_EQ(keys.at("Name"), "Tallymere");
    EXPECT_EQ(keys.at("Exec"), "tallymere");
    EXPECT_EQ(keys.at("Icon"), "tallymere");
    EXPECT_EQ(keys.at("Categories"), "System;Utility;Filesystem;");
    // The windows' class and the desktop file name the program announces are the entry's.
    TallymereApp::configure(*qApp);
    EXPECT_EQ(keys.at("StartupWMClass"), QApplication::applicationName());
    EXPECT_EQ(QGuiApplication::desktopFileName() + ".desktop", QFileInfo(entry).fileName());
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty()) {
        ADD_FAILURE() << "desktop-file-validate (desktop-file-utils, see scripts/deps) is not installed";
    } else {
        const Outcome check = run(validator, {entry});
        EXPECT_EQ(check.exitCode, 0) << check.out.toStdString();
        EXPECT_FALSE(check.out.contains("error:")) << check.out.toStdString();
    }

    // The icon is a drawing: the card's ground at its middle edge, transparent beyond its corners,
    // the tiles in the theme's colours; the windows carry the same picture.
    QSvgRenderer drawing(icon);
    ASSERT_TRUE(drawing.isValid());
    QImage picture(256, 256, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        drawing.render(&painter);
    }
    EXPECT_EQ(picture.pixelColor(2, 2).alpha(), 0);
    EXPECT_EQ(picture.pixelColor(128, 30), QColor(0xFA, 0xF6, 0xEC));
    EXPECT_EQ(picture.pixelColor(94, 128), QColor(0xE9, 0xC2, 0x5C));
    const QIcon windowIcon = QApplication::windowIcon();
    ASSERT_FALSE(windowIcon.isNull());
    EXPECT_EQ(windowIcon.pixmap(256, 256).toImage().convertToFormat(QImage::Format_ARGB32).pixelColor(94, 128),
              QColor(0xE9, 0xC2, 0x5C));
    EXPECT_EQ(AppIcon::make().availableSizes().size(), 7);

    // The installed program works from where it lies: a scan on the command line, and a picture of
    // the Settings window.
    TempFolder work;
    work.file("tree/a.bin", 4096);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", QString::fromStdString(work.path()));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(work / "config"));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    const Outcome scan = run(program.filePath(), {"--scan", QString::fromStdString(work / "tree")}, environment);
    EXPECT_EQ(scan.exitCode, 0) << scan.err.toStdString();
    EXPECT_TRUE(scan.out.contains("a.bin")) << scan.out.toStdString();
    const QString shot = QString::fromStdString(work / "settings.png");
    const Outcome settings = run(program.filePath(), {"--shot-settings", shot}, environment);
    EXPECT_EQ(settings.exitCode, 0) << settings.err.toStdString();
    EXPECT_FALSE(QImage(shot).isNull());
}
