// Times the quick preview on a local disk: for a picture, a text file, a plain file and a folder of
// 2,000 files, how long showing the item holds the window's thread, and how long until what it
// shows is settled (the picture decoded, the text read, the folder measured). Items are shown in
// turn, so every round looks at its item afresh.
#include "Stats.h"
#include "app/TallymereApp.h"
#include "style/Typography.h"
#include "views/components/ThemedWidget.h"
#include "views/shell/preview/PreviewWindow.h"

#include <QApplication>
#include <QColor>
#include <QEventLoop>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace tallymere;

namespace {

using tallymere::bench::median;
using Clock = std::chrono::steady_clock;

constexpr int rounds = 60;

struct Item {
    const char* label;
    std::string path;
    std::function<bool(const PreviewWindow&)> settled;
    std::vector<double> held;    // ms on the window's thread inside setItems()
    std::vector<double> shown;   // ms until settled
};

std::string makeFixture(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir / "folder");
    QImage picture(2400, 1600, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, qRgb(x % 251, y % 241, (x ^ y) % 239));
    picture.save(QString::fromStdString((dir / "picture.png").string()), "PNG");
    {
        std::ofstream text(dir / "notes.txt");
        for (int i = 0; i < 4000; ++i) text << "line " << i << " of the notes, plain text to be shown\n";
    }
    {
        std::ofstream plain(dir / "blob.bin", std::ios::binary);
        std::string bytes(1 << 20, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 256);
        plain << bytes;
    }
    for (int i = 0; i < 2000; ++i) std::ofstream(dir / "folder" / ("file-" + std::to_string(i))) << i;
    return dir.string();
}

} // namespace

int main(int argc, char** argv) {
    TallymereApp::prepareProcess();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    Typography::bootstrap();

    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("preview-bench-" + std::to_string(::getpid()));
    makeFixture(dir);
    std::vector<Item> items{
        {"picture, 2400x1600 PNG", (dir / "picture.png").string(),
         [](const PreviewWindow& w) { return w.currentKind() == PreviewKind::image && !w.image().isNull(); }, {}, {}},
        {"text, 190 KB", (dir / "notes.txt").string(),
         [](const PreviewWindow& w) { return w.currentKind() == PreviewKind::text && !w.bodyText().isEmpty(); }, {}, {}},
        {"plain file, 1 MB", (dir / "blob.bin").string(),
         [](const PreviewWindow& w) { return w.currentKind() == PreviewKind::other && !w.detailText().isEmpty(); }, {}, {}},
        {"folder of 2,000 files", (dir / "folder").string(),
         [](const PreviewWindow& w) {
             return w.currentKind() == PreviewKind::folder && !w.detailText().contains(QStringLiteral("Measuring"));
         },
         {}, {}},
    };

    PreviewWindow window;
    ThemedWidget::applyTheme(&window, Theme::make(ThemeID::paper));
    window.resize(900, 700);
    window.show();
    QCoreApplication::processEvents();

    for (int round = 0; round < rounds; ++round) {
        for (Item& item : items) {
            window.setItems({});
            QCoreApplication::processEvents();
            const auto start = Clock::now();
            window.setItems({item.path});
            const auto returned = Clock::now();
            const auto limit = start + std::chrono::seconds(10);
            while (!item.settled(window) && Clock::now() < limit)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
            const auto settled = Clock::now();
            if (!item.settled(window)) {
                std::fprintf(stderr, "%s never settled\n", item.label);
                return 1;
            }
            item.held.push_back(std::chrono::duration<double, std::milli>(returned - start).count());
            item.shown.push_back(std::chrono::duration<double, std::milli>(settled - start).count());
        }
    }
    std::filesystem::remove_all(dir);

    std::printf("quick preview, %d rounds, medians (ms): held the window / shown settled\n", rounds);
    for (Item& item : items)
        std::printf("  %-24s %7.3f / %8.3f\n", item.label, median(item.held), median(item.shown));
    return 0;
}
