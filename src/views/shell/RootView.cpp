#include "views/shell/RootView.h"

#include "state/AppState.h"
#include "style/Typography.h"
#include "style/DisplayText.h"
#include "base/Utf8.h"
#include "views/components/Panel.h"
#include "views/components/ThemedWidget.h"
#include "views/shell/VisualizationHost.h"

#include <QFontMetricsF>
#include <QKeySequence>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace tallymere {

namespace {

constexpr double stripHeight = 56;
constexpr double margin = 32;
constexpr double bannerHeight = 58;

QString text(std::string_view bytes) { return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())); }
using DisplayText::countText;
using DisplayText::sizeText;

QFont tabFont() { return Typography::font(13, QFont::Medium); }
QFont headingFont() { return Typography::font(22, QFont::DemiBold); }
QFont bodyFont() { return Typography::font(13, QFont::Normal); }
QFont captionFont() { return Typography::font(11.5, QFont::Normal); }

QColor bannerColor(const Theme& theme, AppState::Banner::Kind kind) {
    switch (kind) {
    case AppState::Banner::Kind::info: return theme.accentSecondary;
    case AppState::Banner::Kind::success: return theme.success;
    case AppState::Banner::Kind::warning: return theme.warning;
    case AppState::Banner::Kind::error: return theme.danger;
    }
    return theme.accentSecondary;
}

} // namespace

RootView::RootView(AppState& state, QWidget* parent) : QWidget(parent), m_state(state) {
    setMinimumSize(minimumWidth, minimumHeight);
    m_host = new VisualizationHost(m_state, this);
    m_host->hide();
    applyTheme();
    connect(&m_state, &AppState::themeIDChanged, this, [this] {
        applyTheme();
        update();
    });
    for (auto signal : {&AppState::tabChanged, &AppState::isScanningChanged, &AppState::scanTargetChanged,
                        &AppState::scannedFilesChanged, &AppState::scannedBytesChanged,
                        &AppState::scanningPathChanged, &AppState::displayRootChanged, &AppState::focusChanged,
                        &AppState::useAllocatedSizeChanged, &AppState::bannerChanged, &AppState::isFilteringChanged})
        connect(&m_state, signal, this, &RootView::relayout);
    relayout();
}

void RootView::applyTheme() {
    m_theme = Theme::make(m_state.themeID());
    ThemedWidget::applyTheme(this, m_theme);
    relayout();
}

QRectF RootView::tabRect(WorkspaceTab tab) const {
    auto index = static_cast<std::size_t>(std::find(WorkspaceTabs::all.begin(), WorkspaceTabs::all.end(), tab) -
                                          WorkspaceTabs::all.begin());
    return index < m_tabRects.size() ? m_tabRects[index] : QRectF();
}

void RootView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void RootView::relayout() {
    m_tabRects.clear();
    QFontMetricsF tabMetrics(tabFont());
    double x = margin - 12;
    for (WorkspaceTab tab : WorkspaceTabs::all) {
        double w = tabMetrics.horizontalAdvance(text(WorkspaceTabs::title(tab))) + 24;
        m_tabRects.emplace_back(x, (stripHeight - 30) / 2, w, 30);
        x += w + 4;
    }

    m_detail.clear();
    bool showHost = false;
    double top = stripHeight + margin;
    WorkspaceTab tab = m_state.tab();
    if (tab != WorkspaceTab::explore) {
        m_heading = text(WorkspaceTabs::title(tab));
        m_subheading.clear();
    } else if (m_state.isScanning()) {
        const auto& target = m_state.scanTarget();
        m_heading = QStringLiteral("Scanning ") + (target ? QString::fromStdString(target->title) : QString());
        m_subheading = countText(m_state.scannedFiles(), "file", "files") + QStringLiteral(" · ") +
                       sizeText(m_state.scannedBytes());
        m_detail = QString::fromStdString(repairUtf8(m_state.scanningPath()));
    } else if (const AppState::NodePtr& shown = m_state.focus() ? m_state.focus() : m_state.displayRoot()) {
        m_heading = QString::fromStdString(shown->displayName());
        bool allocated = m_state.useAllocatedSize();
        m_subheading = sizeText(shown->bytes(allocated)) + QStringLiteral(" · ") +
                       countText(shown->fileCount, "file", "files") + QStringLiteral(" · ") +
                       countText(shown->folderCount, "folder", "folders");
        if (m_state.isFiltering()) m_detail = QStringLiteral("Filtering…");
        showHost = true;
    } else {
        m_heading = QStringLiteral("Nothing scanned yet");
        m_subheading = QStringLiteral("Scan Home Folder (") +
                       QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H).toString(QKeySequence::NativeText) +
                       QStringLiteral(") or Choose Folder… (") +
                       QKeySequence(Qt::CTRL | Qt::Key_O).toString(QKeySequence::NativeText) +
                       QStringLiteral(") from the File menu.");
    }

    if (m_state.banner()) {
        m_bannerRect = QRectF(margin, height() - margin - bannerHeight, width() - 2 * margin, bannerHeight);
        m_bannerClose = QRectF(m_bannerRect.right() - 40, m_bannerRect.center().y() - 14, 28, 28);
    } else {
        m_bannerRect = m_bannerClose = QRectF();
    }
    if (showHost) {
        const double hostTop = top + 76;
        const double bottom = height() - margin - (m_state.banner() ? bannerHeight + 16 : 0);
        m_host->setGeometry(QRectF(margin, hostTop, width() - 2 * margin, std::max(0.0, bottom - hostTop)).toRect());
    }
    m_host->setVisible(showHost);
    update();
}

void RootView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), m_theme.background);

    // Tab strip.
    painter.setFont(tabFont());
    for (std::size_t i = 0; i < m_tabRects.size(); ++i) {
        WorkspaceTab tab = WorkspaceTabs::all[i];
        bool current = tab == m_state.tab();
        if (current) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(m_theme.surfaceRaised);
            painter.drawRoundedRect(m_tabRects[i], 8, 8);
        }
        painter.setPen(current ? m_theme.text : m_theme.textSecondary);
        painter.drawText(m_tabRects[i], Qt::AlignCenter, text(WorkspaceTabs::title(tab)));
    }
    painter.setPen(QPen(m_theme.stroke, 1));
    painter.drawLine(QPointF(0, stripHeight - 0.5), QPointF(width(), stripHeight - 0.5));

    // Heading.
    double top = stripHeight + margin;
    double textWidth = width() - 2 * margin;
    painter.setFont(headingFont());
    painter.setPen(m_theme.text);
    QFontMetricsF headingMetrics(headingFont());
    painter.drawText(QRectF(margin, top, textWidth, 30), Qt::AlignLeft | Qt::AlignVCenter,
                     headingMetrics.elidedText(m_heading, Qt::ElideMiddle, textWidth));
    painter.setFont(bodyFont());
    painter.setPen(m_theme.textSecondary);
    painter.drawText(QRectF(margin, top + 32, textWidth, 22), Qt::AlignLeft | Qt::AlignVCenter, m_subheading);
    if (!m_detail.isEmpty()) {
        painter.setFont(captionFont());
        painter.setPen(m_theme.textTertiary);
        QFontMetricsF captionMetrics(captionFont());
        painter.drawText(QRectF(margin, top + 54, textWidth, 18), Qt::AlignLeft | Qt::AlignVCenter,
                         captionMetrics.elidedText(m_detail, Qt::ElideMiddle, textWidth));
    }

    // Banner.
    if (const auto& banner = m_state.banner()) {
        QRectF box = m_bannerRect;
        Panel::paintCard(painter, box, 12, m_theme);
        painter.setPen(Qt::NoPen);
        painter.setBrush(bannerColor(m_theme, banner->kind));
        painter.drawRoundedRect(QRectF(box.left() + 10, box.top() + 12, 4, box.height() - 24), 2, 2);
        double left = box.left() + 26;
        double textRight = m_bannerClose.left() - 12;
        painter.setFont(Typography::font(13, QFont::DemiBold));
        painter.setPen(m_theme.text);
        bool twoLines = banner->detail.has_value();
        painter.drawText(QRectF(left, box.top() + (twoLines ? 9 : 0), textRight - left, twoLines ? 20 : box.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, banner->title);
        if (twoLines) {
            painter.setFont(Typography::font(12, QFont::Normal));
            painter.setPen(m_theme.textSecondary);
            QFontMetricsF detailMetrics(Typography::font(12, QFont::Normal));
            painter.drawText(QRectF(left, box.top() + 29, textRight - left, 18), Qt::AlignLeft | Qt::AlignVCenter,
                             detailMetrics.elidedText(*banner->detail, Qt::ElideRight, textRight - left));
        }
        painter.setPen(QPen(m_theme.textSecondary, 1.5, Qt::SolidLine, Qt::RoundCap));
        QRectF cross = m_bannerClose.adjusted(9, 9, -9, -9);
        painter.drawLine(cross.topLeft(), cross.bottomRight());
        painter.drawLine(cross.topRight(), cross.bottomLeft());
    }
}

void RootView::mousePressEvent(QMouseEvent* event) {
    QPointF at = event->position();
    if (event->button() == Qt::LeftButton) {
        for (std::size_t i = 0; i < m_tabRects.size(); ++i) {
            if (m_tabRects[i].contains(at)) {
                m_state.setTab(WorkspaceTabs::all[i]);
                event->accept();
                return;
            }
        }
        if (m_bannerClose.contains(at)) {
            m_state.setBanner(std::nullopt);
            event->accept();
            return;
        }
    }
    // Anything else belongs to the window (a press on the background moves it).
    event->ignore();
}

} // namespace tallymere
