// The applications tab on a fake home: list, search, system toggle, orphans, detail, uninstall
// and orphan removal through fake and real Trashes, and offscreen renders checked on pixels
// (written to <build>/gallery/ for people to look at).
#include "state/AppState.h"
#include "style/Typography.h"
#include "support/FakeAppHome.h"
#include "views/components/controls/SectionLabel.h"
#include "views/components/canvas/ShapePaint.h"
#include "support/PipeSwap.h"
#include "support/TempFolder.h"
#include "desktop/PictureDecoder.h"
#include "desktop/PictureDecoderSeam.h"
#include "views/tools/applications/AppDetailPane.h"
#include "views/tools/applications/AppIcon.h"
#include "views/tools/applications/AppListColumn.h"
#include "views/tools/applications/AppRow.h"
#include "views/tools/applications/ApplicationsView.h"
#include "views/tools/applications/FootprintBar.h"
#include "views/tools/applications/OrphanRow.h"
#include "views/tools/applications/UninstallButton.h"
#include "views/components/controls/IconToggle.h"
#include "views/tools/applications/AppSearchField.h"
#include "style/DisplayText.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace tallymere;

namespace {

class Apps : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts"); }
};

int distance(const QColor& a, const QColor& b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

bool contains(const QImage& image, const QRect& area, const QColor& color, int tolerance = 10) {
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (distance(image.pixelColor(x, y), color) <= tolerance) return true;
    return false;
}

QColor over(const QColor& top, const QColor& below) {
    return ColorRules::mix(below, QColor(top.red(), top.green(), top.blue()), top.alphaF());
}

QRect mapped(QWidget* widget, QWidget* root, QRectF local = {}) {
    const QRectF r = local.isNull() ? QRectF(widget->rect()) : local;
    return QRect(widget->mapTo(root, r.topLeft().toPoint()), r.size().toSize());
}

void waitFor(const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 30'000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// A left click at a point of the widget (its centre by default).
void click(QWidget* widget, std::optional<QPointF> at = std::nullopt) {
    const QPointF point = at.value_or(QRectF(widget->rect()).center());
    QMouseEvent press(QEvent::MouseButtonPress, point, widget->mapToGlobal(point), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, point, widget->mapToGlobal(point), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &press);
    QCoreApplication::sendEvent(widget, &release);
}

struct FakeTrash {
    std::vector<std::vector<std::string>> calls;
    bool failBundle = false, failAll = false;
    std::string bundle;
    TrashService::Outcome operator()(const std::vector<std::string>& paths,
                                     const std::unordered_map<std::string, std::int64_t>& sizes) {
        calls.push_back(paths);
        TrashService::Outcome outcome;
        for (const auto& path : paths) {
            if (failAll || (failBundle && path == bundle)) outcome.failed.emplace_back(path, "Operation not permitted");
            else {
                outcome.trashed.push_back(path);
                outcome.freed += sizes.contains(path) ? sizes.at(path) : 0;
            }
        }
        return outcome;
    }
};

struct Harness {
    test::FakeAppHome home;
    AppState state{nullptr};
    FakeTrash trash;
    std::vector<QString> asked;
    bool answer = true;
    std::unique_ptr<ApplicationsView> view;
    Harness() {
        ApplicationsView::Services services{
            .sources = home.sourcesFunction(),
            .trash = [this](const auto& paths, const auto& sizes, const PlaceRegistry&) { return trash(paths, sizes); },
            .confirm = [this](const AppsText::Confirmation& text, QWidget*) {
                asked = {text.title, text.action, text.message};
                return answer;
            }};
        view = std::make_unique<ApplicationsView>(state, services);
        view->resize(1200, 820);
        view->show();
        waitFor([this] { return !view->isLoading(); });
    }
    const InstalledApp& app(std::string_view name) const {
        for (const InstalledApp& a : view->apps())
            if (a.name == name) return a;
        throw std::runtime_error("no such app");
    }
    std::vector<std::string> shownNames() const {
        std::vector<std::string> names;
        for (AppRow* row : view->list()->visibleRows()) names.push_back(row->app().name);
        return names;
    }
};

TEST_F(Apps, TextsOfRowsDialogAndBanners) {
    std::vector<InstalledApp> apps{{.name = "Barcode Studio", .path = "/a", .isSystem = false},
                                   {.name = "ENCODER", .path = "/b", .isSystem = false},
                                   {.name = "Codec Sys", .path = "/c", .bundleID = "org.code.x", .isSystem = true},
                                   {.name = "Other", .path = "/d", .bundleID = "com.code.other", .isSystem = false}};
    auto names = [](const std::vector<const InstalledApp*>& list) {
        std::vector<std::string> out;
        for (auto* a : list) out.push_back(a->name);
        return out;
    };
    EXPECT_EQ(names(AppsText::filtered(apps, "code", false)), (std::vector<std::string>{"Barcode Studio", "ENCODER"}));
    EXPECT_EQ(names(AppsText::filtered(apps, "code", true)).size(), 3u);
    EXPECT_EQ(names(AppsText::filtered(apps, "", false)).size(), 3u);
    EXPECT_TRUE(AppsText::filtered(apps, " code", false).empty()); // used as typed

    InstalledApp app{.name = "Widget", .path = "/h/Applications/Widget.AppImage", .version = "1.2", .size = 1'000'000,
                     .isSystem = false};
    EXPECT_EQ(AppsText::rowCaption(app), "v1.2");
    app.leftovers.push_back({.path = "/h/.cache/x", .size = 0, .kind = "Cache"});
    EXPECT_EQ(AppsText::rowCaption(app), "v1.2"); // leftovers of zero bytes are no leftovers
    auto dialog = AppsText::confirmation(app);
    EXPECT_EQ(dialog.title, "Uninstall Widget?");
    EXPECT_EQ(dialog.action, "Move 2 items to Trash");
    EXPECT_EQ(dialog.message, "Removes the app and 1 support file, freeing 1.00\u00A0MB. Everything goes to the Trash.");
    app.leftovers = {};
    EXPECT_EQ(AppsText::confirmation(app).action, "Move 1 items to Trash");
    EXPECT_EQ(AppsText::confirmation(app).message,
              "Removes the app and 0 support files, freeing 1.00\u00A0MB. Everything goes to the Trash.");
    app.desktopFile = "/h/.local/share/applications/widget.desktop";
    app.leftovers = {{.path = "/h/.cache/x", .size = 200'000}, {.path = "/h/.config/x", .size = 5}};
    EXPECT_EQ(AppsText::rowCaption(app), "+200\u00A0KB leftovers");
    EXPECT_EQ(AppsText::confirmation(app).action, "Move 4 items to Trash");
    // the launcher is one of the support files: the two counts are of the same items
    EXPECT_EQ(AppsText::confirmation(app).message,
              "Removes the app and 3 support files, freeing 1.20\u00A0MB. Everything goes to the Trash.");
    // the dialog's details name every path it moves, in the order it moves them
    EXPECT_EQ(AppsText::confirmation(app).paths,
              (QStringList{"/h/Applications/Widget.AppImage", "/h/.local/share/applications/widget.desktop", "/h/.cache/x",
                           "/h/.config/x"}));

    AppUninstaller::Removal done{.outcome = {.trashed = {"a", "b", "c"}, .failed = {}, .freed = 1'500'000}, .refused = {},
                                 .bundleMoved = true};
    auto banner = AppsText::uninstallBanner(app, done);
    EXPECT_EQ(banner.kind, AppState::Banner::Kind::success);
    EXPECT_EQ(banner.title, "Widget uninstalled");
    EXPECT_EQ(banner.detail, "3 items moved to Trash, 1.50\u00A0MB freed.");
    // the system's message names nothing: the item it is about is named before it
    done.outcome.failed = {{"/h/.cache/x", "Permission denied"}};
    banner = AppsText::uninstallBanner(app, done);
    EXPECT_EQ(banner.kind, AppState::Banner::Kind::warning);
    EXPECT_EQ(banner.title, "Uninstalled with 1 issue");
    EXPECT_EQ(banner.detail, "x: Permission denied");
    done.outcome.failed.push_back({"/h/.config/x", "Busy"});
    EXPECT_EQ(AppsText::uninstallBanner(app, done).title, "Uninstalled with 2 issues");
    done.bundleMoved = false;
    done.outcome.failed = {{"/h/Applications/Widget.AppImage", "No such file or directory"}};
    banner = AppsText::uninstallBanner(app, done);
    EXPECT_EQ(banner.title, "Could not uninstall Widget");
    EXPECT_EQ(banner.detail, "Widget.AppImage: No such file or directory");
    done.outcome.failed = {{"/h/Applications/Widget.AppImage", AppUninstaller::refusalText("/h/Applications/Widget.AppImage")}};
    EXPECT_EQ(AppsText::uninstallBanner(app, done).detail, "Could not remove Widget.AppImage: it is not this app's own");

    const LeftoverItem orphan{.path = "/h/.cache/com.old.tool", .size = 12'345'678};
    banner = AppsText::orphanBanner(orphan, {.outcome = {.trashed = {orphan.path}}});
    EXPECT_EQ(banner.title, "Removed com.old.tool");
    EXPECT_EQ(banner.detail, "12.3\u00A0MB moved to Trash.");
    EXPECT_EQ(AppsText::orphanBanner(orphan, {.outcome = {.failed = {{orphan.path, "No space"}}}}).kind,
              AppState::Banner::Kind::warning);

    EXPECT_EQ(FootprintBar::pieceWidths(0, 0, 100), std::make_pair(0.0, 0.0));
    EXPECT_EQ(FootprintBar::pieceWidths(30, 10, 100), std::make_pair(75.0, 25.0));
}

TEST_F(Apps, ListSearchSystemToggleAndOrphans) {
    Harness h;
    EXPECT_EQ(h.view->apps().size(), 5u);
    // the user's own apps only, largest footprint first
    EXPECT_EQ(h.shownNames(), (std::vector<std::string>{"Acme Editor", "Widget Studio"}));
    click(h.view->list()->systemToggle());
    EXPECT_TRUE(h.view->showSystem());
    EXPECT_EQ(h.shownNames().size(), 5u);
    h.view->list()->searchField()->setText("CALC");
    EXPECT_EQ(h.shownNames(), (std::vector<std::string>{"Calculator"}));
    click(h.view->list()->systemToggle());
    EXPECT_TRUE(h.shownNames().empty());
    h.view->list()->searchField()->setText("");

    ASSERT_EQ(h.view->list()->orphanRows().size(), 2u);
    EXPECT_EQ(h.view->list()->orphanLabel()->trailing(),
              DisplayText::sizeText(h.view->orphans()[0].size + h.view->orphans()[1].size));

    // an orphan that will not move stays, and says why
    h.trash.failAll = true;
    const LeftoverItem first = h.view->orphans()[0];
    h.view->stageLeftover(first);
    EXPECT_EQ(h.view->orphans().size(), 2u);
    ASSERT_TRUE(h.state.banner());
    EXPECT_EQ(h.state.banner()->kind, AppState::Banner::Kind::warning);
    EXPECT_EQ(h.state.banner()->detail, QStringLiteral("Operation not permitted"));
    h.trash.failAll = false;
    h.view->list()->orphanRows()[0]->runMenuEntry(1); // "Copy Path" through the desktop
    h.view->stageLeftover(first);
    EXPECT_EQ(h.view->orphans().size(), 1u);
    EXPECT_EQ(h.state.banner()->title, "Removed com.old.tool");
    QCoreApplication::processEvents();
    EXPECT_EQ(h.view->list()->orphanRows().size(), 1u);

    // an orphan that became an app's home since the list was made is not moved, and says why
    const LeftoverItem game = h.view->orphans().at(0);
    const std::string program = game.path + "/game";
    std::filesystem::create_directories(game.path);
    std::ofstream(program) << "#!/bin/sh\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    h.home.launcher("game.desktop", "[Desktop Entry]\nType=Application\nName=Game\nExec=" + program + "\n");
    h.trash.calls.clear();
    h.view->stageLeftover(game);
    EXPECT_TRUE(h.trash.calls.empty());
    EXPECT_EQ(h.view->orphans().size(), 1u);
    EXPECT_EQ(h.state.banner()->kind, AppState::Banner::Kind::warning);
    EXPECT_EQ(h.state.banner()->title, "Could not remove removedgame: it is not this app's own");
    EXPECT_EQ(h.state.banner()->detail, QString::fromStdString(game.path));
    EXPECT_TRUE(std::filesystem::exists(program));
}

// The columns of a rendered row that hold anything but the background, scanning left from `from`:
// the length of the first run of empty columns at least `minimum` wide that follows some ink.
int gapBefore(const QImage& image, int from, QColor background, int minimum) {
    auto inked = [&](int x) {
        for (int y = 0; y < image.height(); ++y)
            if (distance(image.pixelColor(x, y), background) > 24) return true;
        return false;
    };
    int x = from;
    while (x >= 0 && !inked(x)) --x; // up to the right-hand text
    for (;;) {
        while (x >= 0 && inked(x)) --x;
        int run = 0;
        while (x >= 0 && !inked(x)) --x, ++run;
        if (run >= minimum || x < 0) return run;
    }
}

TEST_F(Apps, LongNamesKeepTheirGapToTheSize) {
    const Theme theme = Theme::make(ThemeID::paper);
    const std::string longName = "An Application With A Name Far Too Long For Any Row Of The List";
    InstalledApp app{.name = longName, .path = "/h/Applications/Long.AppImage", .version = "1.0", .size = 123'456'789,
                     .isSystem = false};
    AppRow row(app, [] {});
    ThemedWidget::applyTheme(&row, theme);
    row.resize(AppListColumn::columnWidth, row.sizeHint().height());
    QImage image(row.size(), QImage::Format_ARGB32);
    image.fill(theme.background);
    row.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    // name, then the stack's 9, the flexible space's 4 and 9 again, then the total
    const int appGap = gapBefore(image, image.width() - 1, theme.background, 8);
    EXPECT_GE(appGap, 22);
    EXPECT_LE(appGap, 22 + 12); // the name runs up to the gap, cut short

    OrphanRow orphan(LeftoverItem{.path = "/h/.cache/" + longName, .size = 98'765'432, .kind = "Cache"}, {});
    ThemedWidget::applyTheme(&orphan, theme);
    orphan.resize(AppListColumn::columnWidth, orphan.sizeHint().height());
    QImage orphanImage(orphan.size(), QImage::Format_ARGB32);
    orphanImage.fill(theme.background);
    orphan.render(&orphanImage, QPoint(), QRegion(), QWidget::DrawChildren);
    // from the size's left edge: 8, the space's 4 and 8 again, then the name
    const int orphanGap = gapBefore(orphanImage, int(orphan.buttonRect().left()) - 2, theme.background, 8);
    EXPECT_GE(orphanGap, 20);
    EXPECT_LE(orphanGap, 20 + 12);
}

// A launcher's name or a leftover's path is text, never markup: the tooltips and the uninstall
// dialog show it as written.
TEST_F(Apps, NamesAreShownAsWrittenNeverAsMarkup) {
    const std::string name = "<b>Big</b> & <img src=\"/h/x.png\">";
    const InstalledApp app{.name = name, .path = "/h/Applications/Big.AppImage", .isSystem = false};
    const auto shownAs = [](const QString& tip) {
        if (!Qt::mightBeRichText(tip)) return tip;
        QTextDocument document;
        document.setHtml(tip);
        return document.toPlainText();
    };
    EXPECT_EQ(shownAs(AppRow(app, [] {}).toolTip()).toStdString(), name);
    EXPECT_EQ(shownAs(OrphanRow(LeftoverItem{.path = "/h/.cache/" + name}, {}).toolTip()).toStdString(),
              "/h/.cache/" + name);
    EXPECT_EQ(AppRow(InstalledApp{.name = "Plain & Simple"}, [] {}).toolTip(), "Plain & Simple");

    const std::unique_ptr<QMessageBox> box = ApplicationsView::confirmationBox(AppsText::confirmation(app), nullptr);
    int named = 0;
    for (const QLabel* label : box->findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
        named += label->text().contains(QStringLiteral("<b>Big</b>"));
    }
    EXPECT_EQ(named, 1);
    ASSERT_NE(box->defaultButton(), nullptr);
    EXPECT_EQ(box->defaultButton()->text(), "Cancel");
}

TEST_F(Apps, DetailAndUninstallFlows) {
    Harness h;
    const InstalledApp acme = h.app("Acme Editor");
    // a click on the row's side margin still selects it
    AppRow* row = h.view->list()->visibleRows().front();
    click(row, QPointF(2, 5));
    ASSERT_TRUE(h.view->selected());
    EXPECT_EQ(h.view->selected()->path, acme.path);
    EXPECT_TRUE(row->isSelected());
    EXPECT_FALSE(h.view->detail()->isShowingEmptyState());
    ASSERT_TRUE(h.view->detail()->uninstallButton());
    EXPECT_EQ(h.view->detail()->leftoverRows().size(), acme.leftovers.size());

    // a system app shows no uninstall button
    h.view->select(h.app("Calculator"));
    EXPECT_FALSE(h.view->detail()->uninstallButton());
    h.view->select(acme);

    // declined: nothing moves
    h.answer = false;
    click(h.view->detail()->uninstallButton());
    EXPECT_EQ(h.asked.at(0), "Uninstall Acme Editor?");
    EXPECT_EQ(h.asked.at(1), "Move 5 items to Trash");
    EXPECT_TRUE(h.trash.calls.empty());

    // a Trash that refuses the bundle: the leftovers stay too, the user is told, the list reloads
    h.answer = true;
    h.trash.failBundle = true;
    h.trash.bundle = acme.path;
    click(h.view->detail()->uninstallButton());
    ASSERT_EQ(h.trash.calls.size(), 1u);
    EXPECT_EQ(h.trash.calls[0], std::vector<std::string>{acme.path});
    EXPECT_EQ(h.state.banner()->title, "Could not uninstall Acme Editor");
    EXPECT_EQ(h.state.banner()->detail, QStringLiteral("Acme: Operation not permitted"));
    EXPECT_FALSE(h.view->selected());
    EXPECT_TRUE(h.view->detail()->isShowingEmptyState());
    EXPECT_TRUE(h.view->isLoading());
    EXPECT_TRUE(h.view->list()->isShowingProgress());
    waitFor([&] { return !h.view->isLoading(); });
    EXPECT_NO_THROW(h.app("Acme Editor"));

    // a rescan keeps the selection's highlight on its path
    h.view->select(h.app("Widget Studio"));
    h.view->load();
    waitFor([&] { return !h.view->isLoading(); });
    EXPECT_TRUE(h.view->list()->visibleRows().back()->isSelected());

    // everything moves: a success banner counting the items
    h.trash.failBundle = false;
    h.trash.calls.clear();
    h.view->uninstall(h.app("Acme Editor"));
    ASSERT_EQ(h.trash.calls.size(), 5u); // each path checked and moved on its own
    EXPECT_EQ(h.state.banner()->kind, AppState::Banner::Kind::success);
    EXPECT_EQ(h.state.banner()->title, "Acme Editor uninstalled");
    EXPECT_TRUE(h.state.banner()->detail->startsWith("5 items moved to Trash, "));
}

TEST_F(Apps, RendersListAndDetail) {
    for (ThemeID id : {ThemeID::paper, ThemeID::slate}) {
        Harness h;
        const Theme theme = Theme::make(id);
        ThemedWidget::applyTheme(h.view.get(), theme);
        h.view->select(h.app("Acme Editor"));
        QCoreApplication::processEvents();
        h.view->layout()->activate();
        QImage image(h.view->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(theme.background);
        h.view->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        image = image.convertToFormat(QImage::Format_ARGB32);
        const QString folder = QCoreApplication::applicationDirPath() + "/gallery";
        QDir().mkpath(folder);
        image.save(folder + "/apps-" + theme.name().toLower() + ".png");

        AppRow* row = h.view->list()->visibleRows().front();
        EXPECT_TRUE(contains(image, mapped(row, h.view.get(), row->highlightRect()),
                             over(ShapePaint::withOpacity(theme.accent, 0.18), theme.background), 6));
        // the column is the background colour, not a scroll area's grey
        EXPECT_EQ(image.pixelColor(100, h.view->height() - 10), theme.background);
        auto* bar = h.view->detail()->content()->findChild<FootprintBar*>();
        ASSERT_TRUE(bar);
        const QRect barArea = mapped(bar, h.view.get());
        EXPECT_TRUE(contains(image, barArea, theme.accent, 6));
        EXPECT_TRUE(contains(image, barArea, theme.warning, 6));
        UninstallButton* button = h.view->detail()->uninstallButton();
        EXPECT_TRUE(contains(image, mapped(button, h.view.get()), theme.danger, 6));
    }
}

} // namespace

// A launcher may name any file as its icon, looked at again whenever the list is read anew: an
// image there is drawn, and while the name keeps changing hands with a link to a pipe, the pipe is
// never opened (a writer blocked on it would go on; a reader would hold its thread for ever).
TEST(AppIcons, AnIconPathIsReadOnlyAsARegularFile) {
    tallymere::test::TempFolder dir;
    QImage red(8, 8, QImage::Format_ARGB32);
    red.fill(Qt::red);
    const std::string png = dir / "icon.png";
    ASSERT_TRUE(red.save(QString::fromStdString(png), "PNG"));
    InstalledApp app;
    app.iconName = png;
    const auto decoded = [](const InstalledApp& app) {
        (void)AppIcon::of(app);
        waitFor([&] { return !AppIcon::isDecoding(app); });
        return AppIcon::of(app);
    };
    EXPECT_EQ(decoded(app).pixmap(8, 8).toImage().pixelColor(4, 4), QColor(Qt::red));
    if (QImageReader::supportedImageFormats().contains("svg")) {
        // A scalable icon stays sharp at a row's size.
        const std::string svg = dir / "icon.svg";
        std::ofstream(svg) << "<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'>"
                              "<rect width='8' height='16' fill='#0000ff'/><rect x='8' width='8' height='16' fill='#00ff00'/></svg>";
        app.iconName = svg;
        const QImage drawn = decoded(app).pixmap(64, 64).toImage();
        ASSERT_EQ(drawn.size(), QSize(64, 64));
        EXPECT_EQ(drawn.pixelColor(30, 32), QColor(0, 0, 255));
        EXPECT_EQ(drawn.pixelColor(33, 32), QColor(0, 255, 0));
        app.iconName = png;
    }

    tallymere::test::PipeSwap swap(dir.path(), png);
    ASSERT_TRUE(swap.made());
    for (int round = 0; round < 400 && !swap.wentThrough(); ++round) {
        AppIcon::lookAgain();
        (void)decoded(app).pixmap(8, 8);
    }
    EXPECT_FALSE(swap.finish());
}

// The window's thread never looks at an icon's path (one on a mount that never answers would hold
// it): the decoder's threads look it up when they take it, so while they are held the row shows
// the default symbol, and it is the file found then that is drawn, not one there when asked.
TEST(AppIcons, AnIconPathIsLookedUpOffTheWindowThread) {
    Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts");
    const auto limit = PictureDecoder::setTimeLimit(std::chrono::hours(1)); // held threads are no slow decoding
    tallymere::test::TempFolder dir;
    QImage picture(48, 48, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    InstalledApp app;
    app.name = "Held";
    app.iconName = dir / "held.png";
    ASSERT_TRUE(picture.save(QString::fromStdString(app.iconName), "PNG"));
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(QString::fromStdString(dir / "later.png"), "PNG"));
    PictureDecoder::pauseThreads(true);
    AppRow row(app, [] {});
    row.resize(300, 40);
    const auto render = [&] {
        QImage image(row.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        row.render(&image);
        return image;
    };
    const QRect iconBox(16, 8, 24, 24);
    EXPECT_TRUE(contains(render(), iconBox, Theme().textSecondary, 40)) << "the default symbol while it is looked up";
    EXPECT_TRUE(AppIcon::isDecoding(app));
    ASSERT_EQ(::rename((dir / "later.png").c_str(), app.iconName.c_str()), 0);
    PictureDecoder::pauseThreads(false);
    waitFor([&] { return !AppIcon::isDecoding(app); });
    const QImage drawn = render();
    EXPECT_TRUE(contains(drawn, iconBox, Qt::blue, 10));
    EXPECT_FALSE(contains(drawn, iconBox, Qt::red, 10)) << "the file was opened on the window's thread";
    PictureDecoder::setTimeLimit(limit);
}

// A launcher's icon file may take minutes to decode (a scalable picture of one path of half a
// million segments): the row never waits for it. It shows the default symbol until the icon
// arrives, is repainted then, and keeps the symbol when the decoding takes longer than its limit.
TEST(AppIcons, AnIconFileIsDecodedOffTheWindowThread) {
    Typography::bootstrap(QCoreApplication::applicationDirPath() + "/Fonts");
    tallymere::test::TempFolder dir;
    QImage red(48, 48, QImage::Format_ARGB32);
    red.fill(Qt::red);
    InstalledApp app;
    app.name = "Red";
    app.iconName = dir / "red.png";
    ASSERT_TRUE(red.save(QString::fromStdString(app.iconName), "PNG"));
    AppRow row(app, [] {});
    row.resize(300, 40);
    row.show();
    int paints = 0;
    struct PaintCounter : QObject {
        int& count;
        explicit PaintCounter(int& c) : count(c) {}
        bool eventFilter(QObject*, QEvent* event) override {
            count += event->type() == QEvent::Paint;
            return false;
        }
    } counter(paints);
    row.installEventFilter(&counter);
    const QRect iconBox(16, 8, 24, 24);
    const auto render = [&] {
        QImage image(row.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        row.render(&image);
        return image;
    };
    EXPECT_FALSE(contains(render(), iconBox, Qt::red, 10)) << "the icon was decoded on the window's thread";
    EXPECT_TRUE(AppIcon::isDecoding(app));
    paints = 0;
    waitFor([&] { return !AppIcon::isDecoding(app) && paints > 0; });
    EXPECT_GT(paints, 0) << "the row is repainted when its icon arrives";
    EXPECT_TRUE(contains(render(), iconBox, Qt::red, 10));

    const auto limit = PictureDecoder::setTimeLimit(std::chrono::milliseconds(0)); // every decoding is too slow
    red.fill(Qt::blue);
    app.iconName = dir / "slow.png";
    ASSERT_TRUE(red.save(QString::fromStdString(app.iconName), "PNG"));
    AppRow slow(app, [] {});
    slow.resize(300, 40);
    (void)AppIcon::of(app, &slow);
    waitFor([&] { return !AppIcon::isDecoding(app); });
    QImage image(slow.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    slow.render(&image);
    EXPECT_FALSE(contains(image, iconBox, Qt::blue, 10));
    EXPECT_TRUE(contains(image, iconBox, Theme().textSecondary, 40)) << "the default symbol";
    PictureDecoder::setTimeLimit(limit);
}
