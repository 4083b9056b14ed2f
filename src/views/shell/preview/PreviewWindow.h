#pragma once
#include "views/components/ThemedWidget.h"

#include <QIcon>
#include <QImage>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QStackedWidget;

namespace tallymere {

class PreviewImage;
struct PreviewLook;
class ScanProgress;

// What the preview shows for one path.
enum class PreviewKind {
    none,   // no item
    image,  // a regular file that decodes as an image
    text,   // a regular file whose first 256 KiB are valid UTF-8 without NUL bytes
    folder, // a folder: name, total size and counts
    other,  // anything else: icon, name, size and kind
};

// The quick preview of files and folders. Each item is looked at through the path gate on a thread
// of its own, never the window's, and shown when the look answers: on a local disk at once, and on
// a mount that stopped answering within the gate's bound, as an item whose file system does not
// answer. It opens regular files only (read-only, through the gate) and lists folders; FIFOs,
// sockets and devices are described from their status alone, never opened. Paths are raw bytes;
// what is shown is repaired text. Pictures are read and decoded off the window's thread, no larger
// than the screen, and shown when they arrive; one that takes longer than the decoder's limit keeps
// the file's look (icon, kind, size).
//
// It is drawn in the theme of the window it belongs to (its ground, its ink, Inter, the category
// glyphs in the theme's colours) and follows that theme's changes. Given a parent, it is a window
// of its own over that parent's centre each time it is shown.
class PreviewWindow : public ThemedWidget {
    Q_OBJECT
public:
    // The first 256 KiB of a text file are shown.
    static constexpr std::int64_t textLimit = 256 * 1024;
    // A file larger than this is not read as a picture: it shows as any file does.
    static constexpr qint64 pictureLimit = qint64{128} << 20;
    // How long the item shown before stays while the next one is looked at.
    static constexpr std::chrono::milliseconds lookPatience{150};

    explicit PreviewWindow(QWidget* parent = nullptr);
    ~PreviewWindow() override;

    // Makes `paths` the items and shows the first; an empty list shows nothing.
    void setItems(std::vector<std::string> paths);
    const std::vector<std::string>& items() const { return m_items; }
    int currentIndex() const { return m_index; }
    // The text view, which takes the keyboard focus when text is shown.
    QWidget* textView() const;
    PreviewKind currentKind() const { return m_kind; }
    // The texts of the current item, for tests and accessibility.
    QString titleText() const;
    QString detailText() const;
    QString bodyText() const;
    // The picture beside the title of a folder or plain file; null when none is shown.
    QPixmap iconPixmap() const;
    // The decoded image of an image item (upright), else a null image.
    QImage image() const;

signals:
    // The item's look answered and what it found is shown (a picture may still be decoded, a
    // folder still measured).
    void itemLooked();
    // A picture's decoding answered: its image shows, or (none, or too slow) the file's look stays.
    void pictureSettled();

protected:
    void themeChanged() override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The text view scrolls on Space and the arrows; the window's own keys come first.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Space and Escape close, Left and Right step through the items; false for any other key.
    bool handleKey(int key);

    void showItem(int index);
    // Starts the look at the item; its answer goes to showLook() on this thread.
    void lookAtItem(const std::string& path);
    void showLook(std::uint64_t generation, const std::string& path, const PreviewLook& look);
    // Empties the picture and the text of the item shown before.
    void clearPages();
    // The file's look until its picture arrives; then the picture, else its text or look.
    void showPicture(const std::string& path, const PreviewLook& look);
    // `natural`: the picture's own size, which the image may be decoded smaller than.
    void showImage(const std::string& path, QImage image, QSize natural);
    // The first 256 KiB of the file as text when they are, else the plain file's look.
    void showTextOrOther(const std::string& path, const PreviewLook& look);
    void showText(const std::string& path, const QString& text);
    void showFolder(const std::string& path);
    void showOther(const std::string& path, const QString& kind, std::int64_t size, bool hasSize);
    // The info page: a picture of the item (the desktop's icon for its type, else the category's
    // glyph in the theme's colours), its name and the detail lines.
    void showInfo(const QString& name, bool isFolder, const QString& detail);
    void refreshIcon();
    // Stops the running folder walk, if any: its result would no longer be shown.
    void cancelWalk();

    struct LookRelay;
    std::shared_ptr<LookRelay> m_relay; // shared with the threads that look at items
    std::vector<std::string> m_items;
    int m_index = -1;
    PreviewKind m_kind = PreviewKind::none;
    // Bumped for every item shown; a look, a picture or a folder walk that finishes late for an
    // older item is dropped.
    std::uint64_t m_generation = 0;
    // The generation whose look has answered.
    std::uint64_t m_looked = 0;
    // The cancel flag of the folder walk in flight; null when none runs.
    std::shared_ptr<ScanProgress> m_walk;
    QStackedWidget* m_stack = nullptr;
    PreviewImage* m_imageView = nullptr;
    QPlainTextEdit* m_textView = nullptr;
    QWidget* m_infoView = nullptr;
    QLabel* m_icon = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_detail = nullptr;
    // What the info page pictures: empty for no picture.
    QString m_iconName;
    bool m_iconIsFolder = false;
};

namespace QuickLook {

// Makes `paths` the items of the preview (also when the list is empty). With at least one path the
// one shared preview window reloads them and is then closed when it is shown, or brought to the
// front otherwise, so a second call toggles it. An empty list leaves the window as it was, neither
// reloaded nor opened or closed. Reports nothing. GUI thread.
void preview(const std::vector<std::string>& paths);

// The items of the last call, in the order given; empty before any.
const std::vector<std::string>& items();
// How many items the preview serves, and the one at `index`; none outside the list.
std::size_t itemCount();
std::optional<std::string> itemAt(std::size_t index);

// The shared window, created by the first call of preview() with at least one path; null before.
PreviewWindow* sharedWindow();

// The window the preview belongs to: the shared window is made as its child window (kept above it
// by the window manager, placed over its centre, drawn in its theme). Set before the first preview.
void setHost(QWidget* host);

} // namespace QuickLook

} // namespace tallymere
