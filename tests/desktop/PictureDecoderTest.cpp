#include "desktop/PictureDecoder.h"

#include "support/TempFolder.h"

#include <QBuffer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

using namespace tallymere;
using tallymere::test::TempFolder;

namespace {

// The picture the decoder gives the file, once it has answered.
PictureDecoder::Picture decoded(const std::string& path, QSize box) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << path;
    QObject receiver;
    QEventLoop loop;
    std::optional<PictureDecoder::Picture> answer;
    PictureDecoder::decode(fd, box, &receiver, [&](PictureDecoder::Picture picture) {
        answer = std::move(picture);
        loop.quit();
    });
    ::close(fd);
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

} // namespace

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
