#include "views/shell/InspectorIdentity.h"

#include "desktop/FileIcon.h"
#include "platform/UserFolders.h"
#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/Chip.h"
#include "views/components/ShapePaint.h"
#include "views/shell/InspectorModel.h"

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

constexpr int nameLines = 2;
constexpr int pathLines = 3;
constexpr double sizeTracking = -0.3;
constexpr double sizeShareGap = 6;

QFont nameFont() { return Typography::font(14, QFont::DemiBold); }
QFont sizeFont() {
    QFont font = Typography::font(26, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, sizeTracking);
    return font;
}
QFont shareFont() { return Typography::font(10.5, QFont::Normal); }
QFont pathFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(10); // 9.5, rounded to whole pixels
    return font;
}

// The lines of `text` wrapped into `width`, at word boundaries where possible.
std::vector<QTextLine> wrap(QTextLayout& layout, double width) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    std::vector<QTextLine> lines;
    double y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(width, 1.0));
        line.setPosition(QPointF(0, y));
        y += line.height();
        lines.push_back(line);
    }
    layout.endLayout();
    return lines;
}

int lineCount(const QString& text, const QFont& font, double width) {
    QTextLayout layout(text, font);
    return static_cast<int>(wrap(layout, width).size());
}

// The text shortened in its middle ("begin…end") until it wraps into at most `maxLines` lines.
QString middleTruncated(const QString& text, const QFont& font, double width, int maxLines) {
    if (lineCount(text, font, width) <= maxLines) return text;
    auto cut = [&](qsizetype keep) {
        qsizetype head = (keep + 1) / 2, tail = keep / 2;
        // Never split a surrogate pair.
        if (head > 0 && text.at(head - 1).isHighSurrogate()) --head;
        if (tail > 0 && text.at(text.size() - tail).isLowSurrogate()) --tail;
        return text.left(head) + QChar(0x2026) + text.right(tail);
    };
    qsizetype low = 0, high = text.size() - 1;
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (lineCount(cut(mid), font, width) <= maxLines) low = mid;
        else high = mid - 1;
    }
    return cut(low);
}

// Advance of a text whose digits all take the widest digit's cell.
double equalDigitWidth(const QString& text, const QFontMetricsF& metrics, double digitCell, double tracking) {
    double width = 0;
    for (QChar c : text) width += (c.isDigit() ? digitCell : metrics.horizontalAdvance(c)) + tracking;
    return width;
}

double widestDigit(const QFontMetricsF& metrics) {
    double widest = 0;
    for (char d = '0'; d <= '9'; ++d) widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(d)));
    return widest;
}

} // namespace

// The tile: a tinted rounded square with the item's picture, or its symbol, in the middle.
class InspectorIdentity::Tile : public ThemedWidget {
public:
    explicit Tile(QWidget* parent) : ThemedWidget(parent) { setFixedSize(tileSize, tileSize); }
    void show(AppState::NodePtr node, QIcon icon) {
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
        m_text = text;
        updateGeometry();
        update();
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override {
        const QString shown = middleTruncated(m_text, nameFont(), width, nameLines);
        const int lines = std::max(1, lineCount(shown, nameFont(), width));
        return int(std::ceil(lines * QFontMetricsF(nameFont()).lineSpacing()));
    }
    QSize sizeHint() const override {
        return {int(std::ceil(QFontMetricsF(nameFont()).horizontalAdvance(m_text))), heightForWidth(200)};
    }
    QSize minimumSizeHint() const override { return {20, heightForWidth(200)}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(theme().text);
        const QString shown = middleTruncated(m_text, nameFont(), width(), nameLines);
        QTextLayout layout(shown, nameFont());
        wrap(layout, width());
        layout.draw(&painter, QPointF(0, 0));
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
        m_size = size;
        m_share = share;
        updateGeometry();
        update();
    }
    QSize sizeHint() const override {
        const QFontMetricsF big(sizeFont()), small(shareFont());
        const double width = equalDigitWidth(m_size, big, widestDigit(big), sizeTracking) + sizeShareGap +
                             small.horizontalAdvance(m_share);
        return {int(std::ceil(width)), int(std::ceil(big.height()))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const QFont big = sizeFont();
        const QFontMetricsF metrics(big);
        const double cell = widestDigit(metrics);
        const double baseline = metrics.ascent();
        painter.setFont(big);
        painter.setPen(theme().text);
        double x = 0;
        for (QChar c : m_size) {
            const double advance = metrics.horizontalAdvance(c);
            // A digit sits centred in its cell, so figures line up whatever their own widths.
            const double offset = c.isDigit() ? (cell - advance) / 2 : 0;
            painter.drawText(QPointF(x + offset, baseline), QString(c));
            x += (c.isDigit() ? cell : advance) + sizeTracking;
        }
        x += sizeShareGap;
        painter.setFont(shareFont());
        painter.setPen(theme().textTertiary);
        const QFontMetricsF small(shareFont());
        painter.drawText(QPointF(x, baseline), small.elidedText(m_share, Qt::ElideRight, std::max(width() - x, 0.0)));
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

void InspectorIdentity::show(AppState::NodePtr node, bool useAllocated, double share) {
    m_node = std::move(node);
    const FileNode& n = *m_node;
    m_name = InspectorModel::displayName(n, UserFolders::home());
    m_path = InspectorModel::oneLine(QString::fromStdString(n.displayPath()));
    m_size = DisplayText::sizeText(n.bytes(useAllocated));
    m_share = InspectorModel::shareText(share) + QStringLiteral(" of scan");
    // Plain folders show their symbol; files, links and packages the theme's picture of their name.
    m_icon = InspectorModel::isPlainFolder(n)
                 ? QIcon()
                 : FileIcon::themed(QString::fromStdString(n.displayName()), false);

    m_tile->show(m_node, m_icon);
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
        const QString tail = QFontMetricsF(pathFont()).elidedText(m_path.mid(last.textStart()), Qt::ElideRight, width - 2);
        shown = head + tail;
    }
    if (m_pathView->toPlainText() != shown) m_pathView->setPlainText(shown);
    const int count = std::clamp(static_cast<int>(lines.size()), 1, pathLines);
    m_pathView->setFixedHeight(int(std::ceil(count * QFontMetricsF(pathFont()).lineSpacing())) + 2);
}

} // namespace tallymere
