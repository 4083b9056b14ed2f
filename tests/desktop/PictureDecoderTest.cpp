#include "desktop/PictureDecoder.h"
#include "desktop/PictureDecoderSeam.h"

#include "support/EndsWithin.h"
#include "support/StallingFuse.h"
#include "support/TempFolder.h"
#include "support/Unprivileged.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QImageReader>
#include <QTimer>

#include <gtest/gtest.h>
#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

using namespace tallymere;
using tallymere::test::TempFolder;

namespace {

// The picture the decoder gives the file, once it has answered.
PictureDecoder::Picture decoded(const std::string& path, QSize box) {
    QObject receiver;
    QEventLoop loop;
    std::optional<PictureDecoder::Picture> answer;
    PictureDecoder::decodeFile(path, qint64{64} << 20, box, &receiver, [&](PictureDecoder::Picture picture) {
        answer = std::move(picture);
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(answer.has_value()) << "the decoder never answered for " << path;
    return answer.value_or(PictureDecoder::Picture{});
}

void write(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string pngOf(QSize size, Qt::GlobalColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

bool hasSvg() { return QImageReader::supportedImageFormats().contains("svg"); }

int openDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

} // namespace

// The toolkit's reader of scalable pictures opens and reads whatever file a picture's <image>
// or stylesheet instruction names: a pipe there would hold a decoding thread for ever, and
// /dev/zero would be read until the memory runs out. Such a picture is no picture at all; one that
// keeps its images and references inside itself is drawn.
TEST(PictureDecoder, AScalablePictureThatNamesAFileOutsideItIsNoPicture) {
    if (!hasSvg()) GTEST_SKIP() << "no SVG decoder here";
    TempFolder dir;
    const std::string red = dir / "red.png";
    write(red, pngOf(QSize(8, 8), Qt::red));
    write(dir / "red.css", "rect { fill: #ff0000 }");
    const std::string open = "<?xml version='1.0'?>\n<svg xmlns='http://www.w3.org/2000/svg' "
                             "xmlns:xlink='http://www.w3.org/1999/xlink' width='16' height='16'>";
    write(dir / "image.svg", open + "<image width='16' height='16' xlink:href='" + red + "'/></svg>");
    write(dir / "style.svg", "<?xml version='1.0'?>\n<?xml-stylesheet type='text/css' href='" + dir / "red.css" +
                                 "'?>\n<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'>"
                                 "<rect width='16' height='16' fill='#0000ff'/></svg>");
    for (const char* name : {"image.svg", "style.svg"}) {
        const PictureDecoder::Picture picture = decoded(dir / name, QSize(64, 64));
        EXPECT_TRUE(picture.isNull()) << name;
        EXPECT_FALSE(picture.overdue) << name;
    }

    const QByteArray inline64 = QByteArray::fromStdString(pngOf(QSize(8, 8), Qt::green)).toBase64();
    write(dir / "inside.svg", open + "<defs><rect id='r' width='8' height='16' fill='#0000ff'/></defs><use xlink:href='#r'/>"
                                     "<image x='8' width='8' height='16' preserveAspectRatio='none' "
                                     "xlink:href='data:image/png;base64," + inline64.toStdString() + "'/></svg>");
    const PictureDecoder::Picture inside = decoded(dir / "inside.svg", QSize(16, 16));
    ASSERT_FALSE(inside.isNull());
    EXPECT_EQ(inside.images.front().pixelColor(3, 8), QColor(Qt::blue));
    EXPECT_EQ(inside.images.front().pixelColor(12, 8), QColor(Qt::green));
}

// A scalable picture written into another as data is read by the same reader, which would follow
// its references out of it just the same: it is held to the same rule, however deep it lies.
TEST(PictureDecoder, AScalablePictureWrittenIntoAnotherNamesNothingOutsideEither) {
    if (!hasSvg()) GTEST_SKIP() << "no SVG decoder here";
    TempFolder dir;
    const std::string red = dir / "red.png";
    write(red, pngOf(QSize(8, 8), Qt::red));
    const std::string open = "<?xml version='1.0'?>\n<svg xmlns='http://www.w3.org/2000/svg' "
                             "xmlns:xlink='http://www.w3.org/1999/xlink' width='16' height='16'>";
    const auto holding = [&](const std::string& inner) {
        const std::string written = QByteArray::fromStdString(inner).toBase64().toStdString();
        return open + "<image width='16' height='16' xlink:href='data:image/svg+xml;base64," + written + "'/></svg>";
    };
    const std::string naming = open + "<image width='16' height='16' xlink:href='" + red + "'/></svg>";
    write(dir / "outside.svg", holding(naming));
    write(dir / "deeper.svg", holding(holding(naming)));
    for (const char* name : {"outside.svg", "deeper.svg"}) {
        const PictureDecoder::Picture picture = decoded(dir / name, QSize(16, 16));
        EXPECT_TRUE(picture.isNull()) << name;
        EXPECT_FALSE(picture.overdue) << name;
    }

    write(dir / "inside.svg", holding(open + "<rect width='16' height='16' fill='#0000ff'/></svg>"));
    const PictureDecoder::Picture inside = decoded(dir / "inside.svg", QSize(16, 16));
    ASSERT_FALSE(inside.isNull());
    EXPECT_EQ(inside.images.front().pixelColor(8, 8), QColor(Qt::blue));
}

// A PNG of `size` whose pixels are cut short after its first row: all a reader needs to tell its
// size, and next to nothing to decode.
std::string pngHeader(QSize size) {
    const auto be32 = [](std::uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    const auto chunk = [&](const std::string& type, const std::string& data) {
        const std::string body = type + data;
        return be32(std::uint32_t(data.size())) + body +
               be32(std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
    };
    const std::string row(std::size_t(size.width()) * 3 + 1, '\0');
    std::string packed(compressBound(uLong(row.size())), '\0');
    uLongf length = uLongf(packed.size());
    compress(reinterpret_cast<Bytef*>(packed.data()), &length, reinterpret_cast<const Bytef*>(row.data()), uLong(row.size()));
    packed.resize(length);
    return "\x89PNG\r\n\x1a\n" +
           chunk("IHDR", be32(std::uint32_t(size.width())) + be32(std::uint32_t(size.height())) + std::string{8, 2, 0, 0, 0}) +
           chunk("IDAT", packed) + chunk("IEND", "");
}

// Each picture written into a scalable picture as data is decoded whole and kept with it: a few
// hundred kilobytes that a reader inflates to a vast picture, written in over and over, would take
// gigabytes. Together they may hold no more pixels than a limit, counted from their sizes before
// anything is decoded.
TEST(PictureDecoder, ThePicturesWrittenIntoAScalablePictureHoldNoMorePixelsTogetherThanTheLimit) {
    if (!hasSvg()) GTEST_SKIP() << "no SVG decoder here";
    TempFolder dir;
    const std::string written = QByteArray::fromStdString(pngHeader(QSize(4096, 4096))).toBase64().toStdString();
    const auto holding = [&](int pictures) {
        std::string text = "<?xml version='1.0'?>\n<svg xmlns='http://www.w3.org/2000/svg' "
                           "xmlns:xlink='http://www.w3.org/1999/xlink' width='16' height='16'>"
                           "<rect width='16' height='16' fill='#0000ff'/>";
        for (int i = 0; i < pictures; ++i)
            text += "<image width='1' height='1' xlink:href='data:image/png;base64," + written + "'/>";
        return text + "</svg>";
    };
    // 4096 by 4096 is a sixteen-millionth part of the limit, twice over.
    write(dir / "two.svg", holding(2));
    const PictureDecoder::Picture two = decoded(dir / "two.svg", QSize(16, 16));
    ASSERT_FALSE(two.isNull());
    EXPECT_EQ(two.images.front().pixelColor(8, 8), QColor(Qt::blue));

    write(dir / "three.svg", holding(3));
    const PictureDecoder::Picture three = decoded(dir / "three.svg", QSize(16, 16));
    EXPECT_TRUE(three.isNull());
    EXPECT_FALSE(three.overdue);
}

// A compressed scalable picture is inflated no further than a scalable picture may hold, so a few
// kilobytes that inflate to gigabytes cost no more than that.
TEST(PictureDecoder, ACompressedScalablePictureInflatesNoFurtherThanTheLimit) {
    if (!hasSvg()) GTEST_SKIP() << "no SVG decoder here";
    TempFolder dir;
    const auto compressed = [&](const std::string& name, const std::string& padding) {
        const std::string path = dir / name;
        gzFile file = gzopen(path.c_str(), "wb9");
        const std::string text = "<?xml version='1.0'?>\n<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'>"
                                 "<rect width='16' height='16' fill='#0000ff'/><!--" + padding + "--></svg>";
        gzwrite(file, text.data(), static_cast<unsigned>(text.size()));
        gzclose(file);
        return path;
    };
    const PictureDecoder::Picture small = decoded(compressed("small.svgz", std::string(1000, ' ')), QSize(16, 16));
    ASSERT_FALSE(small.isNull());
    EXPECT_EQ(small.images.front().pixelColor(8, 8), QColor(Qt::blue));

    const PictureDecoder::Picture vast = decoded(compressed("vast.svgz", std::string(std::size_t{33} << 20, ' ')), QSize(16, 16));
    EXPECT_TRUE(vast.isNull());
    EXPECT_FALSE(vast.overdue);
}

// An icon file whose directory names several pictures, all stored at once (its PNGs follow the
// directory in its order).
std::string iconFile(const std::vector<std::string>& pictures) {
    const auto le16 = [](std::uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
    const auto le32 = [&](std::uint32_t v) { return le16(std::uint16_t(v & 0xFFFF)) + le16(std::uint16_t(v >> 16)); };
    std::string directory = le16(0) + le16(1) + le16(std::uint16_t(pictures.size()));
    std::uint32_t offset = 6 + 16 * std::uint32_t(pictures.size());
    std::string stored;
    for (const std::string& picture : pictures) {
        directory += std::string(4, '\0') + le16(1) + le16(32) + le32(std::uint32_t(picture.size())) + le32(offset);
        offset += std::uint32_t(picture.size());
        stored += picture;
    }
    return directory + stored;
}

// Every size an icon file holds is decoded, for the row to pick the one that fits it.
TEST(PictureDecoder, EveryPictureOfAnIconFileIsDecoded) {
    TempFolder dir;
    write(dir / "sizes.ico", iconFile({pngOf(QSize(16, 16), Qt::red), pngOf(QSize(32, 32), Qt::blue)}));
    const PictureDecoder::Picture picture = decoded(dir / "sizes.ico", QSize(256, 256));
    ASSERT_EQ(picture.images.size(), std::size_t{2});
    EXPECT_EQ(picture.images[0].size(), QSize(16, 16));
    EXPECT_EQ(picture.images[1].pixelColor(20, 20), QColor(Qt::blue));
}

// An icon file's directory gives each picture at most 256 pixels a side, but a picture stored
// inside it may be of any size, and every entry may name the same one: each is decoded no larger
// than an icon, however many the file holds.
TEST(PictureDecoder, EachPictureOfAnIconFileIsNoLargerThanAnIcon) {
    TempFolder dir;
    const std::string vast = pngOf(QSize(600, 300), Qt::red);
    std::string ico = iconFile({vast, vast, vast});
    // Every entry names the first copy: the file holds the large picture once.
    for (int entry = 1; entry < 3; ++entry) ico.replace(6 + 16 * entry + 12, 4, ico.substr(6 + 12, 4));
    write(dir / "vast.ico", ico.substr(0, 6 + 16 * 3 + vast.size()));

    const PictureDecoder::Picture picture = decoded(dir / "vast.ico", QSize(4096, 4096));
    ASSERT_EQ(picture.images.size(), std::size_t{3});
    for (const QImage& image : picture.images) {
        EXPECT_EQ(image.size(), QSize(256, 128));
        EXPECT_EQ(image.pixelColor(100, 60), QColor(Qt::red));
    }
}

// While every decoding thread is busy (some pictures take minutes), a picture asked for waits for
// one and is given up at the limit: it lets go of its file then, not when a thread is free, so a
// walk through a folder of pictures meanwhile never runs the program out of descriptors.
TEST(PictureDecoder, APictureGivenUpBeforeAnyThreadTookItLetsGoOfItsFile) {
    TempFolder dir;
    write(dir / "red.png", pngOf(QSize(8, 8), Qt::red));
    PictureDecoder::pauseThreads(true);
    const auto limit = PictureDecoder::setTimeLimit(std::chrono::milliseconds(0));
    const int before = openDescriptors();
    for (int asked = 0; asked < 20; ++asked) {
        const PictureDecoder::Picture picture = decoded(dir / "red.png", QSize(64, 64));
        EXPECT_TRUE(picture.overdue);
    }
    EXPECT_EQ(openDescriptors(), before);
    PictureDecoder::setTimeLimit(limit);
    PictureDecoder::pauseThreads(false);
    // Asked again, a picture given up that way is decoded: it was never the file's fault.
    const PictureDecoder::Picture again = decoded(dir / "red.png", QSize(64, 64));
    ASSERT_FALSE(again.isNull());
    EXPECT_EQ(again.images.front().pixelColor(4, 4), QColor(Qt::red));
}

// An icon or a previewed picture may lie on a mount that stops answering, or be reached by a link
// onto one. Read through the gate, each answers as no picture, a picture elsewhere is decoded after
// them all the same, and the process can end while the mount stays stuck: no thread waits on it.
TEST(PictureDecoder, APictureOnAMountThatStoppedAnsweringHoldsNoThreadAndTheProgramEnds) {
    TempFolder dir;
    write(dir / "red.png", pngOf(QSize(8, 8), Qt::red));
    const std::string mount = dir.folder("net");
    std::filesystem::create_symlink(mount + "/file.txt", dir / "link.png");
    const bool ran = test::runInPrivateMounts([&] {
        test::StallingFuse fuse(mount);
        if (!fuse.isMounted()) test::cannotRunHere("no FUSE mount here");
        fuse.stall();
        const bool ended = test::endsWithin(60, [&] {
            for (int round = 0; round <= PictureDecoder::maxThreads; ++round)
                for (const std::string& path : {mount + "/file.txt", dir / "link.png", mount + "/" + std::to_string(round) + ".png"})
                    EXPECT_TRUE(decoded(path, QSize(64, 64)).isNull()) << path;
            const PictureDecoder::Picture red = decoded(dir / "red.png", QSize(64, 64));
            ASSERT_FALSE(red.isNull()) << "no thread was left to decode the picture";
            EXPECT_EQ(red.images.front().pixelColor(4, 4), QColor(Qt::red));
        });
        EXPECT_TRUE(ended) << "a decoding thread waits on the mount";
    });
    if (!ran) GTEST_SKIP() << test::whyNotRun();
}

int threads() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
    return count;
}

// A picture whose decoding runs past the limit (one filled path of thousands of criss-crossing
// segments takes seconds) is not decoded again in this process, also once that decoding has ended,
// however long the limit is when it is asked for next.
TEST(PictureDecoder, AFileWhoseDecodingRanPastTheLimitIsNotDecodedAgain) {
    if (!hasSvg()) GTEST_SKIP() << "no SVG decoder here";
    TempFolder dir;
    std::string path = "M0 0";
    std::uint32_t next = 1;
    const auto coordinate = [&] { return std::to_string((next = next * 1103515245u + 12345u) >> 16 & 1023); };
    for (int segment = 0; segment < 1000; ++segment) path += " L" + coordinate() + " " + coordinate();
    write(dir / "slow.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='1024' height='1024'><path d='" + path +
                                "' fill='#f00'/></svg>");
    const int before = threads();
    const auto limit = PictureDecoder::setTimeLimit(std::chrono::milliseconds(100));
    EXPECT_TRUE(decoded(dir / "slow.svg", QSize(512, 512)).overdue);
    // Its thread ends with the decoding it ran on unseen.
    const QDeadlineTimer patience(60000);
    while (threads() > before && !patience.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    PictureDecoder::setTimeLimit(std::chrono::hours(1));
    EXPECT_TRUE(decoded(dir / "slow.svg", QSize(512, 512)).overdue) << "decoded again";
    PictureDecoder::setTimeLimit(limit);
}
