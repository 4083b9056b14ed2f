#include "views/shell/preview/PreviewWindow.h"

#include "desktop/PictureDecoder.h"
#include "desktop/PictureDecoderSeam.h"
#include "style/DisplayText.h"

#include "base/PathText.h"
#include "state/AppStateTestSupport.h"
#include "support/EndsWithin.h"
#include "support/PipeSwap.h"
#include "support/StallingFuse.h"
#include "support/Unprivileged.h"
#include "style/Typography.h"
#include "views/components/ThemedWidget.h"

#include <QApplication>
#include <QFontInfo>
#include <QIcon>
#include <QImageReader>
#include <QImageWriter>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <stdio.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace tallymere;
using tallymere::test::TempFolder;
namespace fs = std::filesystem;

namespace {

std::string writeBytes(const TempFolder& dir, const std::string& name, const std::string& bytes) {
    std::string path = dir / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// Shows the items and lets the first one's look answer (it is looked at on another thread).
void show(PreviewWindow& window, std::vector<std::string> items) {
    QSignalSpy looked(&window, &PreviewWindow::itemLooked);
    window.setItems(std::move(items));
    ASSERT_TRUE(looked.wait(20000)) << "the item's look never answered";
}

// Lets the picture the window asked for arrive (it is decoded on another thread).
void settled(PreviewWindow& window) {
    QSignalSpy answered(&window, &PreviewWindow::pictureSettled);
    ASSERT_TRUE(answered.wait(20000)) << "the picture's decoding never answered";
}

} // namespace

TEST(PreviewImages, DecodedUprightAndDrawnToFit) {
    TempFolder dir;
    QImage red(40, 20, QImage::Format_RGB32);
    red.fill(Qt::red);
    std::string png = dir / "red.png";
    ASSERT_TRUE(red.save(QString::fromStdString(png)));
    // A JPEG stored sideways, with the orientation recorded beside it.
    std::string jpeg = dir / "turned.jpg";
    QImageWriter writer(QString::fromStdString(jpeg), "jpeg");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    ASSERT_TRUE(writer.write(red));

    PreviewWindow window;
    window.resize(300, 200);
    show(window, {png});
    settled(window);
    EXPECT_EQ(window.currentKind(), PreviewKind::image);
    EXPECT_EQ(window.image().size(), QSize(40, 20));
    window.show();
    QImage shown = window.grab().toImage();
    EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(Qt::red));
    EXPECT_NE(shown.pixelColor(5, 5), QColor(Qt::red));

    show(window, {jpeg});
    settled(window);
    EXPECT_EQ(window.currentKind(), PreviewKind::image);
    EXPECT_EQ(window.image().size(), QSize(20, 40));
}

// A picture may take minutes to decode (a scalable one of a path of half a million segments): the
// window's thread never does it. Until the picture arrives the file shows as any file does, and a
// picture larger than the screen is decoded no larger than the screen, its own size still named.
TEST(PreviewImages, DecodedOffTheWindowThreadNoLargerThanTheScreen) {
    TempFolder dir;
    QImage red(40, 20, QImage::Format_RGB32);
    red.fill(Qt::red);
    const std::string png = dir / "red.png";
    ASSERT_TRUE(red.save(QString::fromStdString(png)));
    PreviewWindow window;
    show(window, {png});
    EXPECT_EQ(window.currentKind(), PreviewKind::other) << "nothing decoded on the window's thread";
    EXPECT_TRUE(window.image().isNull());
    EXPECT_EQ(window.titleText(), "red.png");
    EXPECT_TRUE(window.detailText().startsWith("PNG image\n")) << window.detailText().toStdString();
    settled(window);
    EXPECT_EQ(window.currentKind(), PreviewKind::image);
    EXPECT_EQ(window.detailText(), QString::fromUtf8("40 × 20"));

    if (!QImageReader::supportedImageFormats().contains("svg")) GTEST_SKIP() << "no SVG decoder here";
    const std::string vast = writeBytes(dir, "vast.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='100000' "
                                                         "height='50000'><rect width='100000' height='50000' fill='#00f'/></svg>");
    show(window, {vast});
    settled(window);
    ASSERT_EQ(window.currentKind(), PreviewKind::image);
    const QSize screen = window.screen()->size() * window.screen()->devicePixelRatio();
    EXPECT_LE(window.image().width(), std::max(screen.width(), screen.height()));
    EXPECT_EQ(window.image().width(), 2 * window.image().height());
    EXPECT_EQ(window.detailText(), QString::fromUtf8("100000 × 50000"));
}

// A picture whose decoding runs past the decoder's limit keeps the file's look (icon, kind, size),
// and is not decoded again.
TEST(PreviewImages, APictureThatTakesTooLongKeepsTheFileLook) {
    if (!QImageReader::supportedImageFormats().contains("svg")) GTEST_SKIP() << "no SVG decoder here";
    TempFolder dir;
    const std::string svg = writeBytes(dir, "slow.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='90' height='90'>"
                                                        "<circle cx='45' cy='45' r='40' fill='#f00'/></svg>");
    const auto limit = PictureDecoder::setTimeLimit(std::chrono::milliseconds(0)); // every decoding is too slow
    PreviewWindow window;
    for (int showing = 0; showing < 2; ++showing) {
        show(window, {svg});
        settled(window);
        EXPECT_EQ(window.currentKind(), PreviewKind::other);
        EXPECT_TRUE(window.image().isNull());
        EXPECT_EQ(window.titleText(), "slow.svg");
        EXPECT_EQ(window.detailText(), "SVG image\n" + DisplayText::sizeText(static_cast<std::int64_t>(fs::file_size(svg))));
        EXPECT_FALSE(window.iconPixmap().isNull());
    }
    PictureDecoder::setTimeLimit(limit);
}

TEST(PreviewText, ValidUtf8IsShownUpToTheLimit) {
    TempFolder dir;
    PreviewWindow window;
    show(window, {writeBytes(dir, "notes.txt", "h\xC3\xA9llo\nworld\n")});
    EXPECT_EQ(window.currentKind(), PreviewKind::text);
    EXPECT_EQ(window.bodyText(), QString::fromUtf8("héllo\nworld\n"));

    // A two-byte character cut by the limit is dropped, not taken for invalid text.
    std::string longText(PreviewWindow::textLimit - 1, 'a');
    longText += "\xC3\xA9 and more after the limit";
    show(window, {writeBytes(dir, "long.txt", longText)});
    EXPECT_EQ(window.currentKind(), PreviewKind::text);
    EXPECT_EQ(window.bodyText().size(), PreviewWindow::textLimit - 1);

    // NUL bytes or invalid sequences make it a plain file.
    show(window, {writeBytes(dir, "data.bin", std::string("ab\0cd", 5))});
    EXPECT_EQ(window.currentKind(), PreviewKind::other);
    EXPECT_TRUE(window.detailText().endsWith("5\u00A0B")) << window.detailText().toStdString();
    // With no icon theme to ask (as offscreen), the file's category symbol stands in.
    const QImage icon = window.iconPixmap().toImage();
    ASSERT_FALSE(icon.isNull());
    int inked = 0;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x) inked += icon.pixelColor(x, y).alpha() > 128;
    EXPECT_GT(inked, icon.width() * icon.height() / 20);
    show(window, {writeBytes(dir, "latin1.txt", "caf\xE9")});
    EXPECT_EQ(window.currentKind(), PreviewKind::other);
}

TEST(PreviewOther, SpecialFilesAreDescribedNeverOpened) {
    TempFolder dir;
    std::string fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    PreviewWindow window;
    // Opening a FIFO for reading would block this thread until a writer came.
    show(window, {fifo});
    EXPECT_EQ(window.currentKind(), PreviewKind::other);
    EXPECT_EQ(window.titleText(), "pipe");
    EXPECT_EQ(window.detailText(), "Named pipe");

    show(window, {dir / "gone.pdf"});
    EXPECT_EQ(window.currentKind(), PreviewKind::other);
    EXPECT_EQ(window.titleText(), "gone.pdf");
}

// A mount that served the scan and then stopped answering: an item on it, a folder on it and a
// local link leading onto it are each described as an item whose file system does not answer. The
// window answers keys while such a look is out, and the process can end while the mount stays
// stuck: no thread of it waits on the mount.
TEST(PreviewOther, AnItemOnAMountThatStoppedAnsweringIsDescribedAndHoldsNothing) {
    TempFolder dir;
    const std::string mount = dir.folder("net");
    fs::create_symlink(mount + "/file.txt", dir / "link.txt");
    const std::string local = writeBytes(dir, "local.txt", "here\n");
    const bool ran = test::runInPrivateMounts([&] {
        test::StallingFuse fuse(mount);
        if (!fuse.isMounted()) test::cannotRunHere("no FUSE mount here");
        fuse.stall();
        const bool ended = test::endsWithin(60, [&] {
            PreviewWindow window;
            window.setItems({mount + "/file.txt", local});
            QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
            QApplication::sendEvent(&window, &right);
            EXPECT_TRUE(test::waitUntil([&] { return window.bodyText() == "here\n"; }));
            for (const std::string& item : {mount + "/file.txt", mount + "/sub", dir / "link.txt"}) {
                show(window, {item});
                EXPECT_EQ(window.currentKind(), PreviewKind::other) << item;
                EXPECT_EQ(window.titleText().toStdString(), PathText::lastComponent(item));
                EXPECT_EQ(window.detailText(), "Its file system does not answer") << item;
            }
        });
        EXPECT_TRUE(ended) << "the preview waits on the mount";
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

// The item's name keeps changing hands between a text file and a link to a pipe while it is
// previewed again and again: whatever the timing, the pipe is never opened for reading, which
// a writer blocked on it would notice, and the text is shown only as the text it is.
TEST(PreviewOther, ANameSwappedForALinkToAPipeNeverOpensThePipe) {
    TempFolder dir;
    const std::string item = writeBytes(dir, "notes.txt", "hello\n");
    test::PipeSwap swap(dir.path(), item);
    ASSERT_TRUE(swap.made());
    PreviewWindow window;
    for (int round = 0; round < 400 && !swap.wentThrough(); ++round) {
        show(window, {item});
        if (window.currentKind() == PreviewKind::text) {
            EXPECT_EQ(window.bodyText(), "hello\n");
        }
    }
    EXPECT_FALSE(swap.finish());
}

TEST(PreviewNames, RawBytesReachTheFileAndTheTitleIsRepaired) {
    TempFolder dir;
    std::string path = writeBytes(dir, "caf\xE9.txt", "plain words");
    PreviewWindow window;
    show(window, {path});
    EXPECT_EQ(window.currentKind(), PreviewKind::text);
    EXPECT_EQ(window.bodyText(), "plain words");
    EXPECT_EQ(window.titleText(), QString::fromUtf8("caf\xEF\xBF\xBD.txt"));
}

TEST(PreviewFolders, SizeAndCountsArriveFromTheWalk) {
    TempFolder dir;
    dir.file("folder/a", 1000);
    dir.file("folder/sub/b", 2000);
    PreviewWindow window;
    show(window, {dir / "folder"});
    EXPECT_EQ(window.currentKind(), PreviewKind::folder);
    EXPECT_EQ(window.titleText(), "folder");
    ASSERT_TRUE(test::waitUntil([&] { return window.detailText().contains("files"); }));
    EXPECT_EQ(window.detailText(), QString::fromUtf8("Folder\n3.00\u00A0KB · 2 files · 1 folder"));

    // A walk that ends after another item was shown changes nothing.
    show(window, {dir / "folder"});
    show(window, {writeBytes(dir, "x.txt", "x")});
    test::spin(200);
    EXPECT_EQ(window.currentKind(), PreviewKind::text);
}

TEST(PreviewPanel, SharedWindowTogglesAndEmptyListsLeaveItAlone) {
    TempFolder dir;
    std::string first = writeBytes(dir, "one.txt", "1");
    std::string second = writeBytes(dir, "two.txt", "2");
    std::string third = writeBytes(dir, "three.txt", "3");
    // Nothing to show: no window is made for it.
    QuickLook::preview({});
    EXPECT_EQ(QuickLook::sharedWindow(), nullptr);
    EXPECT_EQ(QuickLook::itemCount(), 0u);

    QuickLook::preview({first, second, third});
    PreviewWindow* window = QuickLook::sharedWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(QuickLook::itemCount(), 3u);
    EXPECT_EQ(QuickLook::itemAt(2), third);
    EXPECT_EQ(QuickLook::itemAt(3), std::nullopt);
    EXPECT_TRUE(test::waitUntil([&] { return window->bodyText() == "1"; }));
    // Keys reach the focused text view first, as they do for a user; the window's keys still act.
    window->textView()->setFocus();
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(window->textView(), &right);
    EXPECT_EQ(window->currentIndex(), 1);
    EXPECT_TRUE(test::waitUntil([&] { return window->bodyText() == "2"; }));

    // An empty list empties the items but neither reloads nor closes the open window.
    QuickLook::preview({});
    EXPECT_EQ(QuickLook::itemCount(), 0u);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->bodyText(), "2");

    // Every call with a path toggles: the items are replaced, then the window closes or opens.
    QuickLook::preview({second});
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(QuickLook::items(), std::vector<std::string>{second});
    EXPECT_EQ(QuickLook::sharedWindow(), window);
    QuickLook::preview({first});
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(test::waitUntil([&] { return window->bodyText() == "1"; }));
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(window->textView(), &space);
    EXPECT_FALSE(window->isVisible());
    // The panel never keeps the application running on its own.
    EXPECT_FALSE(window->testAttribute(Qt::WA_QuitOnClose));
}

TEST(PreviewLook, DrawnInTheHostsThemeAndPlacedOverItsCentre) {
    Typography::bootstrap();
    TempFolder dir;
    dir.file("stuff/a.bin", 10);
    QWidget host;
    ThemedWidget::applyTheme(&host, Theme::make(ThemeID::sage));
    host.setGeometry(60, 50, 600, 480);
    host.show();
    PreviewWindow window(&host);
    ASSERT_TRUE(window.isWindow());
    EXPECT_EQ(window.windowType(), Qt::Dialog); // tied to the host by the window manager
    window.resize(320, 240);
    show(window, {dir / "stuff"});
    window.show();
    EXPECT_EQ(window.geometry().center(), host.geometry().center());

    // The theme's ground and ink, Inter for the name, the folder's glyph in the theme's colour for
    // folders, as the window's lists draw it.
    const Theme sage = Theme::make(ThemeID::sage);
    const QImage shown = window.grab().toImage();
    EXPECT_EQ(shown.pixelColor(4, 4), sage.background);
    auto* title = window.findChildren<QLabel*>()[1];
    ASSERT_EQ(title->text(), "stuff");
    if (Typography::isAvailable()) {
        EXPECT_EQ(QFontInfo(title->font()).family(), "Inter");
    }
    const QImage titleInk = title->grab().toImage();
    bool inked = false;
    for (int y = 0; y < titleInk.height() && !inked; ++y)
        for (int x = 0; x < titleInk.width() && !inked; ++x) inked = titleInk.pixelColor(x, y) == sage.text;
    EXPECT_TRUE(inked);
    if (QIcon::fromTheme(QStringLiteral("folder")).isNull()) {
        const QImage glyph = window.iconPixmap().toImage();
        int accent = 0;
        for (int y = 0; y < glyph.height(); ++y)
            for (int x = 0; x < glyph.width(); ++x) {
                const QColor c = glyph.pixelColor(x, y);
                accent += c.alpha() == 255 && std::abs(c.red() - sage.textSecondary.red()) < 6 &&
                          std::abs(c.green() - sage.textSecondary.green()) < 6 &&
                          std::abs(c.blue() - sage.textSecondary.blue()) < 6;
            }
        EXPECT_GT(accent, 100);
    }

    // It follows the theme of the window it belongs to; text lies on the theme's surface.
    ThemedWidget::applyTheme(&host, Theme::make(ThemeID::slate));
    const Theme slate = Theme::make(ThemeID::slate);
    EXPECT_EQ(window.grab().toImage().pixelColor(4, 4), slate.background);
    show(window, {writeBytes(dir, "notes.txt", "hello\n")});
    EXPECT_EQ(window.textView()->grab().toImage().pixelColor(window.textView()->width() / 2, 40), slate.surface);

    // Shown again after it was moved away, by the program, it comes back over the host's centre.
    window.hide();
    window.move(0, 0);
    host.move(120, 70);
    window.show();
    EXPECT_EQ(window.geometry().center(), host.geometry().center());
    // Over a window near the screen's edge it stays whole on the screen.
    window.hide();
    const QRect screen = host.screen()->availableGeometry();
    host.move(screen.right() - 200, 70);
    window.show();
    EXPECT_LE(window.frameGeometry().right(), screen.right());
    EXPECT_GT(window.frameGeometry().right(), screen.right() - 8);
}

TEST(PreviewNames, ANameWithoutSpacesWrapsInsideTheWindowInsteadOfWideningIt) {
    Typography::bootstrap();
    TempFolder dir;
    QWidget host;
    host.setGeometry(60, 50, 600, 480);
    host.show();
    PreviewWindow window(&host);
    const QSize opened = window.size();
    const std::string longName = std::string(160, 'a') + "_without_a_single_space_" + std::string(60, 'b') + ".bin";
    // Shown as text and as an item of another kind, the name is held by the title either way.
    for (const std::string& contents : {std::string("plain words"), std::string("\x01\x02\x00\x03", 4)}) {
        show(window, {writeBytes(dir, longName, contents)});
        window.show();
        QCoreApplication::processEvents();
        EXPECT_LE(window.minimumSizeHint().width(), opened.width());
        EXPECT_EQ(window.size(), opened);
        window.hide();
    }
    // Its lines break inside the word and every letter is inked inside the window.
    ASSERT_EQ(window.currentKind(), PreviewKind::other);
    window.show();
    QCoreApplication::processEvents();
    auto* title = window.findChildren<QLabel*>()[1];
    ASSERT_EQ(title->text().toStdString(), longName);
    const QImage shown = window.grab().toImage();
    const QRect area(title->mapTo(&window, QPoint(0, 0)), title->size());
    const QColor ground = shown.pixelColor(area.left() + 1, area.top() + 1);
    QRect ink;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (shown.pixelColor(x, y) != ground) ink |= QRect(x, y, 1, 1);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GE(ink.left(), 0);
    EXPECT_LT(ink.right(), window.width());
    EXPECT_GT(ink.height(), 3 * title->fontMetrics().height()); // four lines and more
    EXPECT_GT(ink.width(), window.width() / 2);                  // each line filled across the window
}
