#include "views/shell/preview/PreviewWindow.h"

#include "views/shell/preview/NameLabel.h"

#include "style/DisplayText.h"
#include "core/DiskScanner.h"
#include "core/FileCategory.h"
#include "core/ScanFileSystem.h"
#include "base/PathText.h"
#include "base/Utf8.h"
#include "platform/RegularFile.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "desktop/FileIcon.h"
#include "desktop/PictureDecoder.h"
#include "views/components/NodeGlyph.h"
#include "views/components/controls/ThemedScrollBar.h"
#include "views/components/WindowPlacement.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QIcon>
#include <QImageReader>
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
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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

// Closes the descriptor on every path out; shared while the picture it holds is decoded.
struct FileDescriptor {
    int fd = -1;
    explicit FileDescriptor(int descriptor) : fd(descriptor) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// A name on one line, escaped as every view shows names.
QString displayText(std::string_view bytes) { return QString::fromStdString(oneLine(bytes)); }

using DisplayText::countText;
using DisplayText::sizeText;

// Reads up to `limit` bytes from the start; false on a read error.
bool readPrefix(int fd, std::int64_t limit, std::string& out) {
    out.resize(static_cast<std::size_t>(limit));
    std::size_t filled = 0;
    while (filled < out.size()) {
        ssize_t n = ::pread(fd, out.data() + filled, out.size() - filled, static_cast<off_t>(filled));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    out.resize(filled);
    return true;
}

// When the read stopped inside a longer file, a multi-byte character may be cut at the end; drop
// that incomplete tail so the cut alone does not make the text invalid.
void dropCutCharacter(std::string& bytes) {
    std::size_t n = bytes.size();
    for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
        auto byte = static_cast<unsigned char>(bytes[n - back]);
        if ((byte & 0xC0) == 0x80) continue; // continuation byte: keep looking for the lead
        std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        if (length > back) bytes.resize(n - back);
        return;
    }
}

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

// Whether the file's first bytes are those of a picture format. Reads a header only.
bool looksLikePicture(int fd) {
    QFile device;
    if (!device.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return false;
    return QImageReader(&device).canRead();
}

// The most a picture is decoded at: the largest the preview can be on its screen, which it can
// never enlarge past. Square, so a picture turned by its orientation fits the same.
QSize pictureBox(const QWidget& window) {
    const QScreen* screen = window.screen();
    const QSize pixels = screen ? screen->size() * screen->devicePixelRatio() : QSize(2048, 2048);
    const int side = std::clamp(std::max(pixels.width(), pixels.height()), 256, 4096);
    return {side, side};
}

} // namespace

PreviewWindow::PreviewWindow(QWidget* parent) : ThemedWidget(parent) {
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

PreviewWindow::~PreviewWindow() { cancelWalk(); }

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
    // A closed preview measures nothing: showing it again always sets its items anew.
    cancelWalk();
    QWidget::hideEvent(event);
}

void PreviewWindow::showItem(int index) {
    ++m_generation;
    cancelWalk();
    m_index = index;
    m_imageView->setImage({}, {});
    m_textView->clear();
    if (index < 0) {
        m_kind = PreviewKind::none;
        setWindowTitle(QString());
        showInfo(QString(), false, QString());
        return;
    }
    const std::string& path = m_items[static_cast<std::size_t>(index)];
    QString name = displayText(PathText::lastComponent(path));
    setWindowTitle(name);

    // Its stat would hold the window for as long as the mount stays stuck.
    if (ScanFileSystem::isOnUnansweredMount(path)) {
        showOther(path, QStringLiteral("Its file system does not answer"), 0, false);
        return;
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        // Gone, or a dangling link: describe what the name says, without a size.
        struct stat linkStatus {};
        bool isLink = ::lstat(path.c_str(), &linkStatus) == 0;
        showOther(path, isLink ? kindOfSpecial(linkStatus.st_mode) : mimeKind(name), 0, false);
        return;
    }
    if (S_ISDIR(status.st_mode)) {
        showFolder(path);
        return;
    }
    if (!S_ISREG(status.st_mode)) {
        showOther(path, kindOfSpecial(status.st_mode), status.st_size, false);
        return;
    }

    // The name may stand for something else by now (a link to a pipe or a device put in its
    // place): only a regular file is opened for reading.
    auto file = std::make_shared<FileDescriptor>(RegularFile::openForReading(path));
    struct stat opened {};
    if (file->fd < 0 || ::fstat(file->fd, &opened) != 0) {
        showOther(path, mimeKind(name), status.st_size, true);
        return;
    }
    if (!looksLikePicture(file->fd)) {
        showTextOrOther(path, file->fd, opened.st_size);
        return;
    }
    // A picture is decoded off this thread: some take minutes. Until it is there, and for good when
    // it takes too long, the file shows as any file does.
    showOther(path, mimeKind(name), opened.st_size, true);
    const std::uint64_t generation = m_generation;
    PictureDecoder::decode(file->fd, pictureBox(*this), this,
                           [this, generation, path, file, size = opened.st_size](PictureDecoder::Picture picture) {
                               if (generation != m_generation) return;
                               if (!picture.isNull()) showImage(path, std::move(picture.images.front()), picture.natural);
                               else if (!picture.overdue) showTextOrOther(path, file->fd, size);
                               emit pictureSettled();
                           });
}

void PreviewWindow::showTextOrOther(const std::string& path, int fd, std::int64_t size) {
    std::string prefix;
    if (readPrefix(fd, textLimit + 1, prefix)) {
        bool cut = static_cast<std::int64_t>(prefix.size()) > textLimit;
        if (cut) {
            prefix.resize(static_cast<std::size_t>(textLimit));
            dropCutCharacter(prefix);
        }
        if (prefix.find('\0') == std::string::npos && isValidUtf8(prefix)) {
            showText(path, QString::fromUtf8(prefix.data(), static_cast<qsizetype>(prefix.size())));
            return;
        }
    }
    showOther(path, mimeKind(displayText(PathText::lastComponent(path))), size, true);
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
