#include "views/shell/inspector/InspectorIdentity.h"

#include "desktop/FileIcon.h"
#include "platform/UserFolders.h"
#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/KeptText.h"
#include "views/components/controls/Chip.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"
#include "views/shell/inspector/InspectorModel.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextLayout>
#include <QVBoxLayout>

#include <cmath>

namespace tallymere {

namespace {

constexpr int pathLines = 3;
constexpr double sizeTracking = -0.3;
constexpr double sizeShareGap = 6;

QFont nameFont() { return Typography::font(14, QFont::DemiBold); }
QFont shareFont() { return Typography::font(10.5, QFont::Normal); }
QFont pathFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10); // 9.5, rounded to whole pixels
    return font;
}

TextDraw::Style nameStyle(const QColor& color) {
    TextDraw::Style style{nameFont(), color};
    style.alignment = Qt::AlignLeft | Qt::AlignTop;
    style.truncation = TextDraw::Truncation::twoLineMiddle;
    return style;
}

TextDraw::Style sizeStyle(const QColor& color) {
    TextDraw::Style style{Typography::font(26, QFont::DemiBold), color};
    style.alignment = Qt::AlignLeft | Qt::AlignTop;
    style.tracking = sizeTracking;
    style.monospacedDigits = true;
    return style;
}

} // namespace

// The tile: a tinted rounded square with the item's picture, or its symbol, in the middle.
class InspectorIdentity::Tile : public ThemedWidget {
public:
    explicit Tile(QWidget* parent) : ThemedWidget(parent) { setFixedSize(tileSize, tileSize); }
    void setNode(AppState::NodePtr node, QIcon icon) {
        m_node = std::move(node);
        m_icon = std::move(icon);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!m_node) return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const Theme& t = theme();
        const QColor fill = t.nodeColor(*m_node, 1, false);
        ShapePaint::fillRounded(painter, QRectF(rect()), 12, ShapePaint::withOpacity(fill, t.isDark ? 0.22 : 0.34));
        if (!m_icon.isNull()) {
            const QRectF box(QPointF(8, 8), QSizeF(32, 32));
            m_icon.paint(&painter, box.toRect());
            return;
        }
        const std::string_view symbol =
            InspectorModel::isPlainFolder(*m_node) ? "folder.fill" : FileCategories::symbol(m_node->category);
        const QSizeF box = SymbolImage::size(21);
        SymbolImage::draw(painter, QRectF(QPointF((width() - box.width()) / 2, (height() - box.height()) / 2), box),
                          symbol, 21, QFont::Normal, t.nodeColor(*m_node, 2, false));
    }

private:
    AppState::NodePtr m_node;
    QIcon m_icon;
};

// The name: up to two lines, shortened in the middle when it needs more.
class InspectorIdentity::Name : public ThemedWidget {
public:
    explicit Name(QWidget* parent) : ThemedWidget(parent) {
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }
    void setText(const QString& text) {
        if (text == m_text) return;
        m_text = text;
        updateGeometry();
        update();
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override {
        const auto lines = TextDraw::fit(m_text, nameStyle(Qt::black), width).lines.size();
        return int(std::ceil(std::max<qsizetype>(lines, 1) * QFontMetricsF(nameFont()).height()));
    }
    QSize sizeHint() const override {
        return {int(std::ceil(TextDraw::width(m_text, nameStyle(Qt::black)))), heightForWidth(200)};
    }
    QSize minimumSizeHint() const override { return {20, heightForWidth(200)}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        TextDraw::draw(painter, QRectF(rect()), m_text, nameStyle(theme().text));
    }

private:
    QString m_text;
};

// The size in equal-width digits, and after it, on the same baseline, the share of the scan.
class InspectorIdentity::SizeLine : public ThemedWidget {
public:
    explicit SizeLine(QWidget* parent) : ThemedWidget(parent) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    void setTexts(const QString& size, const QString& share) {
        if (size == m_size && share == m_share) return;
        m_size = size;
        m_share = share;
        updateGeometry();
        update();
    }
    QSize sizeHint() const override {
        const TextDraw::Style size = sizeStyle(Qt::black);
        const double width =
            TextDraw::width(m_size, size) + sizeShareGap + KeptText::advance(shareFont(), m_share);
        return {int(std::ceil(width)), int(std::ceil(QFontMetricsF(size.font).height()))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const TextDraw::Style size = sizeStyle(theme().text);
        const QRectF used = TextDraw::draw(painter, QRectF(rect()), m_size, size);
        // The share sits on the size's baseline.
        const double baseline = QFontMetricsF(TextDraw::tracked(size.font, sizeTracking)).ascent();
        const double x = used.right() + sizeShareGap;
        painter.setFont(shareFont());
        painter.setPen(theme().textTertiary);
        TextDraw::drawAt(painter, QPointF(x, baseline),
                         KeptText::elided(shareFont(), m_share, Qt::ElideRight, std::max(width() - x, 0.0)));
    }

private:
    QString m_size;
    QString m_share;
};

InspectorIdentity::InspectorIdentity(QWidget* parent)
    : ThemedWidget(parent), m_tile(new Tile(this)), m_nameView(new Name(this)), m_sizeLine(new SizeLine(this)),
      m_badgeRow(new QHBoxLayout), m_pathView(new QPlainTextEdit(this)) {
    m_pathView->setReadOnly(true);
    m_pathView->setFrameShape(QFrame::NoFrame);
    m_pathView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_pathView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pathView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // No stop of Tab: it shows no mark of holding the keyboard.
    m_pathView->setFocusPolicy(Qt::ClickFocus);
    m_pathView->setWordWrapMode(QTextOption::WrapAnywhere);
    m_pathView->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_pathView->document()->setDocumentMargin(0);
    m_pathView->setContentsMargins(0, 0, 0, 0);
    m_pathView->viewport()->setAutoFillBackground(false);
    m_pathView->setFont(pathFont());
    m_pathView->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    m_badgeRow->setSpacing(5);
    m_badgeRow->setContentsMargins(0, 0, 0, 0);
    m_badgeRow->addStretch();

    auto* titles = new QVBoxLayout;
    titles->setSpacing(3);
    titles->setContentsMargins(0, 0, 0, 0);
    titles->addWidget(m_nameView);
    titles->addLayout(m_badgeRow);

    auto* top = new QHBoxLayout;
    top->setSpacing(11);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(m_tile, 0, Qt::AlignVCenter);
    top->addLayout(titles, 1);

    auto* column = new QVBoxLayout(this);
    column->setSpacing(9);
    column->setContentsMargins(0, 0, 0, 0);
    column->addLayout(top);
    column->addWidget(m_pathView);
    column->addWidget(m_sizeLine);
    themeChanged();
}

void InspectorIdentity::describe(AppState::NodePtr node, bool useAllocated, double share) {
    m_node = std::move(node);
    const FileNode& n = *m_node;
    m_name = InspectorModel::displayName(n, UserFolders::physicalHome()); // a scanned tree's paths are physical
    m_path = TextDraw::oneLine(n.path());
    m_size = DisplayText::sizeText(n.bytes(useAllocated));
    m_share = InspectorModel::shareText(share) + QStringLiteral(" of scan");
    // Plain folders show their symbol; files, links and packages the theme's picture of their name.
    m_icon = InspectorModel::isPlainFolder(n)
                 ? QIcon()
                 : FileIcon::themed(QString::fromStdString(n.displayName()), false);

    m_tile->setNode(m_node, m_icon);
    m_nameView->setText(m_name);
    m_sizeLine->setTexts(m_size, m_share);

    const std::vector<InspectorModel::Badge> badges = InspectorModel::badges(n);
    while (m_badges.size() < badges.size()) {
        auto* chip = new Chip(QString(), std::nullopt, std::nullopt, this);
        m_badgeRow->insertWidget(static_cast<int>(m_badges.size()), chip);
        m_badges.push_back(chip);
    }
    for (std::size_t i = 0; i < m_badges.size(); ++i) {
        Chip* chip = m_badges[i];
        chip->setVisible(i < badges.size());
        if (i >= badges.size()) continue;
        chip->setText(badges[i].text);
        chip->setSymbol(badges[i].symbol);
    }
    m_badgeSpecs = badges;
    tintBadges();
    layoutPath();
}

void InspectorIdentity::clear() {
    m_node.reset();
    m_icon = QIcon();
    m_tile->setNode({}, {});
    // The badges' tints come from the node's category: with it gone they are not tinted again.
    m_badgeSpecs.clear();
}

QWidget* InspectorIdentity::tile() const { return m_tile; }

QString InspectorIdentity::pathText() const { return m_pathView->toPlainText(); }

std::vector<QString> InspectorIdentity::badgeTexts() const {
    std::vector<QString> texts;
    for (const Chip* chip : m_badges)
        if (!chip->isHidden()) texts.push_back(chip->text());
    return texts;
}

void InspectorIdentity::themeChanged() {
    QPalette palette = m_pathView->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, theme().textTertiary);
    palette.setColor(QPalette::Highlight, ShapePaint::withOpacity(theme().accent, 0.3));
    palette.setColor(QPalette::HighlightedText, theme().text);
    m_pathView->setPalette(palette);
    tintBadges();
}

void InspectorIdentity::tintBadges() {
    const Theme& t = theme();
    for (std::size_t i = 0; i < m_badgeSpecs.size() && i < m_badges.size(); ++i) {
        Chip* chip = m_badges[i];
        switch (m_badgeSpecs[i].tint) {
        case InspectorModel::Tint::category: chip->setTint(t.category(m_node->category)); break;
        case InspectorModel::Tint::warning: chip->setTint(t.warning); break;
        case InspectorModel::Tint::accentSecondary: chip->setTint(t.accentSecondary); break;
        default: chip->setTint(std::nullopt);
        }
    }
}

void InspectorIdentity::resizeEvent(QResizeEvent* event) {
    ThemedWidget::resizeEvent(event);
    layoutPath();
}

// The path wraps anywhere (it has no spaces to wrap at) and stops after three lines, its tail
// replaced by "…"; the box is exactly as high as the lines shown.
void InspectorIdentity::layoutPath() {
    const double width = std::max(1, m_pathView->width());
    QString shown = m_path;
    QTextLayout layout(shown, pathFont());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAnywhere);
    layout.setTextOption(option);
    std::vector<QTextLine> lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.push_back(line);
    }
    layout.endLayout();
    if (static_cast<int>(lines.size()) > pathLines) {
        const QTextLine& last = lines[pathLines - 1];
        const QString head = m_path.left(last.textStart());
        const QString tail =
            QFontMetricsF(pathFont()).elidedText(m_path.mid(last.textStart()), Qt::ElideRight, width - 2);
        shown = head + tail;
    }
    if (m_pathView->toPlainText() != shown) m_pathView->setPlainText(shown);
    const int count = std::clamp(static_cast<int>(lines.size()), 1, pathLines);
    m_pathView->setFixedHeight(int(std::ceil(count * QFontMetricsF(pathFont()).lineSpacing())) + 2);
}

} // namespace tallymere
