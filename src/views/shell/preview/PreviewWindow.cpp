#include "views/shell/preview/PreviewWindow.h"

#include "views/shell/preview/NameLabel.h"
#include "views/shell/preview/PreviewLook.h"

#include "style/DisplayText.h"
#include "core/DiskScanner.h"
#include "core/FileCategory.h"
#include "base/PathText.h"
#include "base/Utf8.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "desktop/FileIcon.h"
#include "desktop/PictureDecoder.h"
#include "platform/PathGate.h"
#include "views/components/NodeGlyph.h"
#include "views/components/controls/ThemedScrollBar.h"
#include "views/components/WindowPlacement.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>
#include <QStackedWidget>
#include <QStyle>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <mutex>
#include <sys/stat.h>

namespace tallymere {

// Draws one image scaled to fit, centred, never enlarged beyond the picture's own size (which the
// image, decoded for the largest screen, may be smaller or larger than).
class PreviewImage : public QWidget {
public:
    using QWidget::QWidget;
    void setImage(QImage image, QSize natural) {
        m_image = std::move(image);
        m_natural = natural.isEmpty() ? m_image.size() / m_image.devicePixelRatio() : QSizeF(natural);
        update();
    }
    const QImage& image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent*) override {
        if (m_image.isNull()) return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        QSizeF bounds = QSizeF(size()) - QSizeF(24, 24);
        if (bounds.width() <= 0 || bounds.height() <= 0) return;
        const QSizeF natural = m_natural;
        QSizeF fitted = natural;
        if (natural.width() > bounds.width() || natural.height() > bounds.height())
            fitted = natural.scaled(bounds, Qt::KeepAspectRatio);
        QRectF target(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
        painter.drawImage(target, m_image);
    }

private:
    QImage m_image;
    QSizeF m_natural;
};

namespace {

// A name on one line, escaped as every view shows names.
QString displayText(std::string_view bytes) { return QString::fromStdString(oneLine(bytes)); }

using DisplayText::countText;
using DisplayText::sizeText;

QString kindOfSpecial(mode_t mode) {
    if (S_ISFIFO(mode)) return QStringLiteral("Named pipe");
    if (S_ISSOCK(mode)) return QStringLiteral("Socket");
    if (S_ISCHR(mode)) return QStringLiteral("Character device");
    if (S_ISBLK(mode)) return QStringLiteral("Block device");
    if (S_ISLNK(mode)) return QStringLiteral("Symbolic link");
    return QStringLiteral("Item");
}

// The glyph the rest of the window draws for the item (a folder, a category's symbol) in the
// theme's colour for it, for files and folders the desktop's icon theme has no picture of.
QIcon categoryIcon(std::string_view name, bool isFolder, const Theme& theme) {
    bool isPackage = false;
    const FileCategory category = isFolder ? classifyDirectory(name, isPackage) : classifyFile(name);
    const bool plainFolder = isFolder && !isPackage;
    return QIcon(SymbolImage::pixmap(NodeGlyph::symbolName(plainFolder, category), 64, QFont::Normal,
                                     NodeGlyph::color(theme, plainFolder, category), 2.0));
}

QIcon iconFor(const QString& displayName, bool isFolder, const Theme& theme) {
    if (displayName.isEmpty()) return QIcon();
    QIcon icon = FileIcon::themed(displayName, isFolder);
    if (icon.isNull()) icon = categoryIcon(displayName.toStdString(), isFolder, theme);
    return icon;
}

QString mimeKind(const QString& displayName) { return FileIcon::kind(displayName); }

// The most a picture is decoded at: the largest the preview can be on its screen, which it can
// never enlarge past. Square, so a picture turned by its orientation fits the same.
QSize pictureBox(const QWidget& window) {
    const QScreen* screen = window.screen();
    const QSize pixels = screen ? screen->size() * screen->devicePixelRatio() : QSize(2048, 2048);
    const int side = std::clamp(std::max(pixels.width(), pixels.height()), 256, 4096);
    return {side, side};
}

} // namespace

// Where looks are delivered: the window while it exists. A look's thread posts to it under the
// lock, and the window lets go of it under the lock when it goes.
struct PreviewWindow::LookRelay {
    std::mutex lock;
    PreviewWindow* window = nullptr;
    std::uint64_t latest = 0; // the generation of the item shown last: an older one is not looked at
};

namespace {

// The threads that look at items, kept for the next item (starting a thread takes longer than a
// look on a local disk) and never freed, so the program's end never waits for a look. As many as
// the gate answers at once.
QThreadPool& lookers() {
    static QThreadPool* const pool = [] {
        auto* threads = new QThreadPool;
        threads->setMaxThreadCount(4);
        return threads;
    }();
    return *pool;
}

} // namespace

PreviewWindow::PreviewWindow(QWidget* parent) : ThemedWidget(parent), m_relay(std::make_shared<LookRelay>()) {
    m_relay->window = this;
    // A dialog rather than a plain window: the window manager keeps it with and above the window it
    // belongs to (a plain window gets no such tie on X11).
    setWindowFlags(windowFlags() | Qt::Dialog);
    // A preview is a panel beside the main window: it never keeps the application running.
    setAttribute(Qt::WA_QuitOnClose, false);
    setAutoFillBackground(true);
    resize(720, 540);

    m_stack = new QStackedWidget(this);
    m_imageView = new PreviewImage(m_stack);
    m_textView = new QPlainTextEdit(m_stack);
    m_textView->setReadOnly(true);
    m_textView->setFrameShape(QFrame::NoFrame);
    ThemedScrollBar::install(m_textView);
    m_textView->installEventFilter(this);
    QFont code = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    code.setPixelSize(12);
    m_textView->setFont(code);

    m_infoView = new QWidget(m_stack);
    m_icon = new QLabel(m_infoView);
    m_icon->setAlignment(Qt::AlignCenter);
    m_title = new NameLabel(m_infoView);
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setFont(Typography::font(17, QFont::DemiBold));
    m_detail = new QLabel(m_infoView);
    m_detail->setFont(Typography::font(12));
    m_detail->setTextFormat(Qt::PlainText);
    m_detail->setAlignment(Qt::AlignCenter);
    m_detail->setWordWrap(true);
    auto* info = new QVBoxLayout(m_infoView);
    info->addStretch();
    info->addWidget(m_icon);
    info->addWidget(m_title);
    info->addWidget(m_detail);
    info->addStretch();

    m_stack->addWidget(m_infoView);
    m_stack->addWidget(m_imageView);
    m_stack->addWidget(m_textView);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);
    themeChanged();
}

void PreviewWindow::themeChanged() {
    const Theme& t = theme();
    QPalette colours = palette();
    colours.setColor(QPalette::Window, t.background);
    colours.setColor(QPalette::WindowText, t.text);
    colours.setColor(QPalette::Base, t.surface);
    colours.setColor(QPalette::Text, t.text);
    colours.setColor(QPalette::Highlight, t.accent);
    colours.setColor(QPalette::HighlightedText, t.onAccent());
    setPalette(colours);
    QPalette detail = colours;
    detail.setColor(QPalette::WindowText, t.textSecondary);
    m_detail->setPalette(detail);
    refreshIcon();
}

void PreviewWindow::showEvent(QShowEvent* event) {
    ThemedWidget::showEvent(event);
    // Opened by the program, it comes up over the window it belongs to; the desktop showing it
    // again (after minimising) leaves it where the user put it.
    if (!event->spontaneous() && parentWidget()) WindowPlacement::centreOver(this, parentWidget()->window());
}

PreviewWindow::~PreviewWindow() {
    cancelWalk();
    std::lock_guard guard(m_relay->lock);
    m_relay->window = nullptr;
}

void PreviewWindow::cancelWalk() {
    if (m_walk) m_walk->cancel();
    m_walk.reset();
}

void PreviewWindow::setItems(std::vector<std::string> paths) {
    m_items = std::move(paths);
    showItem(m_items.empty() ? -1 : 0);
}

QString PreviewWindow::titleText() const { return m_title->text(); }
QString PreviewWindow::detailText() const { return m_detail->text(); }
QPixmap PreviewWindow::iconPixmap() const {
    return m_icon->pixmap();
}

QString PreviewWindow::bodyText() const { return m_kind == PreviewKind::text ? m_textView->toPlainText() : QString(); }
QImage PreviewWindow::image() const { return m_kind == PreviewKind::image ? m_imageView->image() : QImage(); }

QWidget* PreviewWindow::textView() const { return m_textView; }

bool PreviewWindow::handleKey(int key) {
    switch (key) {
    case Qt::Key_Space:
    case Qt::Key_Escape: close(); return true;
    case Qt::Key_Left:
        if (m_index > 0) showItem(m_index - 1);
        return true;
    case Qt::Key_Right:
        if (m_index + 1 < static_cast<int>(m_items.size())) showItem(m_index + 1);
        return true;
    default: return false;
    }
}

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier && handleKey(event->key())) return;
    QWidget::keyPressEvent(event);
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_textView && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier && handleKey(key->key())) return true;
    }
    return QWidget::eventFilter(watched, event);
}

void PreviewWindow::hideEvent(QHideEvent* event) {
    // A closed preview measures nothing and shows no look that comes back: showing it again always
    // sets its items anew.
    cancelWalk();
    if (!event->spontaneous()) ++m_generation;
    QWidget::hideEvent(event);
}

void PreviewWindow::showItem(int index) {
    ++m_generation;
    cancelWalk();
    m_index = index;
    if (index < 0) {
        clearPages();
        m_kind = PreviewKind::none;
        setWindowTitle(QString());
        showInfo(QString(), false, QString());
        return;
    }
    const std::string& path = m_items[static_cast<std::size_t>(index)];
    setWindowTitle(displayText(PathText::lastComponent(path)));
    lookAtItem(path);
}

void PreviewWindow::lookAtItem(const std::string& path) {
    // Looked at off the window's thread: on a mount that stopped answering the look takes the
    // gate's bound, and the window answers meanwhile. A look that comes back after another item was
    // shown is dropped.
    const std::uint64_t generation = m_generation;
    {
        std::lock_guard guard(m_relay->lock);
        m_relay->latest = generation;
    }
    lookers().start([relay = m_relay, generation, path] {
        {
            std::lock_guard guard(relay->lock);
            if (relay->latest != generation || !relay->window) return; // another item is shown by now
        }
        PreviewLook look = lookAt(path, textLimit);
        std::lock_guard guard(relay->lock);
        if (PreviewWindow* window = relay->window)
            QMetaObject::invokeMethod(
                window, [window, generation, path, look = std::move(look)] { window->showLook(generation, path, look); },
                Qt::QueuedConnection);
    });
    // Shown as it is until the look answers, which on a local disk is at once: the item's name
    // alone stands in only when it takes longer, rather than flashing up before every item.
    QTimer::singleShot(lookPatience, this, [this, generation, path] {
        if (generation != m_generation || m_looked == generation) return;
        clearPages();
        showOther(path, QString(), 0, false);
    });
}

void PreviewWindow::clearPages() {
    m_imageView->setImage({}, {});
    m_textView->clear();
}

void PreviewWindow::showLook(std::uint64_t generation, const std::string& path, const PreviewLook& look) {
    if (generation != m_generation) return;
    m_looked = generation;
    clearPages();
    const QString name = displayText(PathText::lastComponent(path));
    using Kind = PreviewLook::Kind;
    switch (look.kind) {
    case Kind::unanswered: showOther(path, QString::fromStdString(PathGate::message(PathGate::notAnswering)), 0, false); break;
    case Kind::missing: showOther(path, mimeKind(name), 0, false); break;
    case Kind::special: showOther(path, kindOfSpecial(look.mode), look.size, false); break;
    case Kind::folder: showFolder(path); break;
    case Kind::file:
        if (look.isPicture) showPicture(path, look);
        else showTextOrOther(path, look);
        break;
    }
    emit itemLooked();
}

void PreviewWindow::showPicture(const std::string& path, const PreviewLook& look) {
    // A picture is read and decoded off this thread: some take minutes. Until it is there, and for
    // good when it takes too long, the file shows as any file does.
    showOther(path, mimeKind(displayText(PathText::lastComponent(path))), look.size, true);
    const std::uint64_t generation = m_generation;
    PictureDecoder::decodeFile(path, pictureLimit, pictureBox(*this), this,
                               [this, generation, path, look](PictureDecoder::Picture picture) {
                                   if (generation != m_generation) return;
                                   if (!picture.isNull()) showImage(path, std::move(picture.images.front()), picture.natural);
                                   else if (!picture.overdue) showTextOrOther(path, look);
                                   emit pictureSettled();
                               });
}

void PreviewWindow::showTextOrOther(const std::string& path, const PreviewLook& look) {
    if (look.text) {
        showText(path, QString::fromUtf8(look.text->data(), static_cast<qsizetype>(look.text->size())));
        return;
    }
    showOther(path, mimeKind(displayText(PathText::lastComponent(path))), look.size, true);
}

void PreviewWindow::showImage(const std::string& path, QImage image, QSize natural) {
    m_kind = PreviewKind::image;
    if (natural.isEmpty()) natural = image.size();
    m_title->setText(displayText(PathText::lastComponent(path)));
    m_detail->setText(QString::number(natural.width()) + QStringLiteral(" × ") + QString::number(natural.height()));
    m_imageView->setImage(std::move(image), natural);
    m_stack->setCurrentWidget(m_imageView);
}

void PreviewWindow::showText(const std::string& path, const QString& text) {
    m_kind = PreviewKind::text;
    m_title->setText(displayText(PathText::lastComponent(path)));
    m_detail->clear();
    m_textView->setPlainText(text);
    m_stack->setCurrentWidget(m_textView);
}

void PreviewWindow::showFolder(const std::string& path) {
    m_kind = PreviewKind::folder;
    QString name = displayText(PathText::lastComponent(path));
    showInfo(name, true, QStringLiteral("Folder\nMeasuring…"));

    // The walk runs off the main thread; its result is applied only if this item is still shown.
    struct Result {
        std::shared_ptr<FileNode> root;
    };
    auto result = std::make_shared<Result>();
    auto progress = std::make_shared<ScanProgress>();
    m_walk = progress;
    std::uint64_t generation = m_generation;
    QThread* walker = QThread::create([path, result, progress] {
        ScanOptions options;
        options.includeHidden = true;
        result->root = DiskScanner::scan(path, options, *progress);
    });
    connect(walker, &QThread::finished, walker, &QObject::deleteLater);
    connect(walker, &QThread::finished, this, [this, result, progress, generation] {
        // A cancelled walk stopped early: its figures are incomplete.
        if (generation != m_generation || progress->cancelled()) return;
        m_walk.reset();
        if (!result->root) {
            m_detail->setText(QStringLiteral("Folder"));
        } else {
            const FileNode& root = *result->root;
            m_detail->setText(QStringLiteral("Folder\n") + sizeText(root.size) + QStringLiteral(" · ") +
                              countText(root.fileCount, "file", "files") + QStringLiteral(" · ") +
                              countText(root.folderCount, "folder", "folders"));
        }
    });
    walker->start();
}

void PreviewWindow::showOther(const std::string& path, const QString& kind, std::int64_t size, bool hasSize) {
    m_kind = PreviewKind::other;
    QString name = displayText(PathText::lastComponent(path));
    QString detail = kind;
    if (hasSize) detail += '\n' + sizeText(size);
    showInfo(name, false, detail);
}

void PreviewWindow::showInfo(const QString& name, bool isFolder, const QString& detail) {
    m_iconName = name;
    m_iconIsFolder = isFolder;
    refreshIcon();
    m_title->setText(name);
    m_detail->setText(detail);
    m_stack->setCurrentWidget(m_infoView);
}

void PreviewWindow::refreshIcon() {
    const QIcon icon = iconFor(m_iconName, m_iconIsFolder, theme());
    m_icon->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(96, 96));
}

namespace QuickLook {

namespace {

// The bridge's state: the items of the last call and the one preview window of the process, made
// on first use and deleted with the application.
struct Bridge {
    std::vector<std::string> items;
    QPointer<PreviewWindow> window;
    QPointer<QWidget> host;
};

Bridge& bridge() {
    static Bridge shared;
    return shared;
}

} // namespace

const std::vector<std::string>& items() { return bridge().items; }

std::size_t itemCount() { return bridge().items.size(); }

std::optional<std::string> itemAt(std::size_t index) {
    const std::vector<std::string>& list = bridge().items;
    if (index >= list.size()) return std::nullopt;
    return list[index];
}

PreviewWindow* sharedWindow() { return bridge().window.data(); }

void setHost(QWidget* host) { bridge().host = host; }

void preview(const std::vector<std::string>& paths) {
    Bridge& shared = bridge();
    shared.items = paths;
    if (paths.empty()) return;
    if (!shared.window) {
        shared.window = new PreviewWindow(shared.host.data());
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, shared.window.data(), &QObject::deleteLater);
    }
    PreviewWindow* window = shared.window.data();
    window->setItems(shared.items);
    if (window->isVisible()) {
        window->close();
    } else {
        window->show();
        window->raise();
        window->activateWindow();
    }
}

} // namespace QuickLook

} // namespace tallymere
