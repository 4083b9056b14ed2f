#include "desktop/DesktopServices.h"

#include "support/EndsWithin.h"
#include "support/StallingFuse.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

#include <QProcess>
#include <QTest>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tallymere {
namespace {

TEST(DesktopFileUrl, KeepsEveryRawByteOfThePath) {
    const QUrl url = DesktopServices::fileUrl(std::string("/tmp/a b#?%\xFF.txt"));
    EXPECT_TRUE(url.isValid());
    EXPECT_TRUE(url.isLocalFile());
    EXPECT_EQ(url.toString(QUrl::FullyEncoded).toStdString(), "file:///tmp/a%20b%23%3F%25%FF.txt");
    EXPECT_EQ(DesktopServices::fileUrl("/home/al/Photos/été.jpg").toLocalFile().toStdString(),
              "/home/al/Photos/été.jpg");

    // The address is handed to the opener as one word of a command line: whatever the name holds
    // (a leading "-", a line break, quotes, spaces, "%", bytes that are not UTF-8), it stays one
    // word of plain characters that reads back as the very path.
    const std::string hostile = std::string("/tmp/-rf \"x\" 'y'\n%41;$(z)&\xC3\x28.desktop");
    const QByteArray encoded = DesktopServices::fileUrl(hostile).toEncoded();
    for (char c : encoded) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || QByteArray(":/%-._~").contains(c)) << c;
    const QStringList words = QProcess::splitCommand(QStringLiteral("opener ") + QString::fromLatin1(encoded));
    ASSERT_EQ(words.size(), 2);
    EXPECT_EQ(QByteArray::fromPercentEncoding(words[1].toLatin1().mid(7)).toStdString(), hostile);
}

TEST(DesktopFileUrl, ParentFolderOfAnItem) {
    EXPECT_EQ(DesktopServices::parentFolder("/home/al/x.txt"), "/home/al");
    EXPECT_EQ(DesktopServices::parentFolder("/home/al/folder/"), "/home/al");
    EXPECT_EQ(DesktopServices::parentFolder("/top"), "/");
    EXPECT_EQ(DesktopServices::parentFolder("/"), "/");
}

TEST(DesktopFailures, AnItemThatIsGoneGivesTheSystemsReason) {
    DesktopServices desktop;
    const std::string gone = "/tmp/tallymere-no-such-item-" + std::to_string(::getpid());
    EXPECT_EQ(desktop.reveal({gone}), std::optional<std::string>("No such file or directory"));
    EXPECT_EQ(desktop.open(gone), std::optional<std::string>("No such file or directory"));
    EXPECT_EQ(desktop.reveal({}), std::nullopt);
}

// A mount that served the scan and then stopped answering: revealing or opening its root, an item
// on it, or a local link leading onto it says so within the gate's bound, and the process that
// asked can still end while the mount stays stuck (no look of it waits in the kernel).
TEST(DesktopFailures, AnItemOnAMountThatStoppedAnsweringGivesWhyAndHoldsNothing) {
    test::TempFolder dir;
    const std::string mount = dir.folder("net");
    std::filesystem::create_symlink(mount + "/file.txt", dir / "link.txt");
    const bool ran = test::runInPrivateMounts([&] {
        test::StallingFuse fuse(mount);
        if (!fuse.isMounted()) test::cannotRunHere("no FUSE mount here");
        DesktopServices desktop;
        fuse.stall();
        const bool ended = test::endsWithin(60, [&] {
            const std::optional<std::string> silent("Its file system does not answer");
            for (const std::string& item : {mount, mount + "/file.txt", dir / "link.txt"}) {
                EXPECT_EQ(desktop.open(item), silent) << item;
                // The link itself lies on a disk that answers: it is revealed where it stands.
                if (item != dir / "link.txt") {
                    EXPECT_EQ(desktop.reveal({item}), silent) << item;
                }
            }
        });
        EXPECT_TRUE(ended) << "a look of the desktop waits on the mount";
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

TEST(DesktopFailures, NothingButAFileOrFolderIsHandedOnToOpen) {
    DesktopServices desktop;
    test::TempFolder dir;
    // A pipe would hold the application that opens it for ever; so would a link to one.
    const std::string pipe = dir / "song.mp3";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::filesystem::create_symlink(pipe, dir / "link.mp3");
    const std::optional<std::string> refused("It is not a file or a folder.");
    EXPECT_EQ(desktop.open(pipe), refused);
    EXPECT_EQ(desktop.open(dir / "link.mp3"), refused);
    std::filesystem::create_symlink(dir / "nowhere", dir / "dangling.mp3");
    EXPECT_EQ(desktop.open(dir / "dangling.mp3"), std::optional<std::string>("No such file or directory"));
}

TEST(DesktopFailures, WithoutAFileManagerOnlyARealFolderIsOpenedInPlaceOfTheItem) {
    // No session bus, so no file manager answers and revealing falls back on opening the folder.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tallymere-test-bus");
    DesktopServices desktop;
    test::TempFolder dir;
    // The item's folder was swapped for a link: opening "the folder" would open what it leads to,
    // which may be a launcher or a program rather than a folder.
    dir.file("real/item.txt", 10);
    std::filesystem::create_directory_symlink(dir / "real", dir / "folder");
    EXPECT_EQ(desktop.reveal({dir / "folder/item.txt"}),
              std::optional<std::string>("No file manager answered, and the folder holding it is no longer a folder."));
}

// The program that hands an item to its application (xdg-open) may give up after open() or
// reveal() returned: that is a failure like any other, told with its reason.
TEST(DesktopFailures, AnOpenerThatGivesUpIsAFailure) {
    test::TempFolder dir;
    const std::string opener = dir.file("bin/xdg-open", 0);
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$(dirname \"$0\")/asked\"\n"
                             "echo \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n";
    ASSERT_EQ(::chmod(opener.c_str(), 0755), 0);
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(dir / "bin") + ":" + savedPath);
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tallymere-test-bus");
    const std::string item = dir.file("docs/report.pdf", 10);

    struct Report {
        DesktopActions::Action action;
        std::string path, reason;
    };
    std::vector<Report> reports;
    {
        DesktopServices desktop;
        desktop.setLateFailure([&](DesktopActions::Action action, const std::string& path, const std::string& reason) {
            reports.push_back({action, path, reason});
        });
        EXPECT_EQ(desktop.open(item), std::nullopt) << "handed on";
        ASSERT_TRUE(QTest::qWaitFor([&] { return reports.size() == 1; }, 30000));
        EXPECT_EQ(reports[0].action, DesktopActions::Action::open);
        EXPECT_EQ(reports[0].path, item);
        EXPECT_EQ(reports[0].reason, "No application is set to open it.");

        // No file manager answers, and the opener gives up on the item's folder as well.
        EXPECT_EQ(desktop.reveal({item}), std::nullopt);
        ASSERT_TRUE(QTest::qWaitFor([&] { return reports.size() == 2; }, 30000));
        EXPECT_EQ(reports[1].action, DesktopActions::Action::reveal);
        EXPECT_EQ(reports[1].path, item);
        EXPECT_EQ(reports[1].reason, "No file manager answered, and no application is set to open folders.");
    }
    qputenv("PATH", savedPath);
    std::ifstream asked(dir / "bin/asked");
    std::string first, second;
    std::getline(asked, first);
    std::getline(asked, second);
    EXPECT_EQ(first, DesktopServices::fileUrl(item).toString(QUrl::FullyEncoded).toStdString());
    EXPECT_EQ(second, DesktopServices::fileUrl(dir / "docs").toString(QUrl::FullyEncoded).toStdString());
}

} // namespace
} // namespace tallymere
