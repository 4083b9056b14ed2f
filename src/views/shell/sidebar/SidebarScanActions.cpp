#include "views/shell/sidebar/SidebarScanActions.h"

#include "state/AppState.h"
#include "core/DiskInfo.h"
#include "platform/UserFolders.h"
#include "style/DisplayText.h"
#include "style/SymbolImage.h"
#include "style/Typography.h"
#include "views/components/controls/ActionButton.h"
#include "views/components/controls/ClickableWidget.h"
#include "views/components/controls/FocusRing.h"
#include "views/components/FocusChain.h"
#include "views/components/controls/SectionLabel.h"
#include "views/components/canvas/ShapePaint.h"
#include "views/components/TextDraw.h"

#include <QAction>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace tallymere {

namespace {

// "Other volumes": a drive symbol, the words and a chevron on a bordered rounded rectangle.
class VolumeMenuLabel : public ClickableWidget {
public:
    explicit VolumeMenuLabel(QWidget* parent) : ClickableWidget({}, parent) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setObjectName(QStringLiteral("volumes"));
    }
    double ringRadius() const override { return 9; }
    QSize sizeHint() const override {
        const double height = std::max(SymbolImage::size(10).height(), QFontMetricsF(font11()).height()) + 12;
        return {200, int(std::ceil(height))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const Theme& t = theme();
        const QRectF area(rect());
        ShapePaint::fillRounded(painter, area, 9, t.surface);
        ShapePaint::strokeInside(painter, area, 9, t.stroke);
        if (isPressed()) painter.setOpacity(pressedOpacity);
        const double middle = area.center().y();
        const QSizeF drive = SymbolImage::size(10), chevron = SymbolImage::size(7);
        SymbolImage::draw(painter, QRectF(QPointF(9, middle - drive.height() / 2), drive),
                          "externaldrive.connected.to.line.below.fill", 10, QFont::DemiBold, t.textSecondary);
        painter.setFont(font11());
        painter.setPen(t.textSecondary);
        painter.drawText(QRectF(9 + drive.width() + 6, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("Other volumes"));
        SymbolImage::draw(painter, QRectF(QPointF(width() - 9 - chevron.width(), middle - chevron.height() / 2), chevron),
                          "chevron.down", 7, QFont::Bold, t.textSecondary);
    }

private:
    static QFont font11() { return Typography::font(11, QFont::DemiBold); }
};

// One recent target: its symbol and title (shortened in the middle), the whole row clickable.
class RecentRow : public ClickableWidget {
public:
    RecentRow(ScanTarget target, std::function<void()> action, QWidget* parent)
        : ClickableWidget(std::move(action), parent), m_target(std::move(target)),
          m_title(TextDraw::oneLine(QString::fromStdString(m_target.title))) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setObjectName(m_title);
        // A bare line of text: the ring goes round it, in the room between the rows.
        FocusRing::drawOutside(this, 3, 4);
    }
    QSize sizeHint() const override {
        return {200, int(std::ceil(std::max(SymbolImage::size(9).height(), QFontMetricsF(titleFont()).height())))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (isPressed()) painter.setOpacity(pressedOpacity);
        const Theme& t = theme();
        const QSizeF symbol = SymbolImage::size(9);
        SymbolImage::draw(painter, QRectF(QPointF(0, height() / 2.0 - symbol.height() / 2), symbol),
                          m_target.isFullDisk ? "internaldrive" : "clock.arrow.circlepath", 9, QFont::Normal,
                          t.textSecondary);
        TextDraw::Style style{titleFont(), t.textSecondary, Qt::AlignLeft | Qt::AlignVCenter, TextDraw::Truncation::middle};
        TextDraw::draw(painter, QRectF(symbol.width() + 6, 0, width() - symbol.width() - 6, height()), m_title, style);
    }

private:
    static QFont titleFont() { return Typography::font(11, QFont::Normal); }
    ScanTarget m_target;
    QString m_title;
};

} // namespace

SidebarScanActions::SidebarScanActions(AppState& state, QWidget* parent)
    : ThemedWidget(parent), m_state(state),
      m_primary(new ActionButton(QStringLiteral("Scan Full Mac"), "externaldrive.fill", true, false, {}, this)),
      m_home(new ActionButton(QStringLiteral("Home"), "house.fill", false, true,
                              [this] { m_state.scan(ScanTarget::home(UserFolders::home())); }, this)),
      m_folder(new ActionButton(QStringLiteral("Folder…"), "folder.fill", false, true, [this] { m_state.chooseFolder(); },
                                this)),
      m_volumes(new VolumeMenuLabel(this)), m_recents(new QWidget(this)), m_recentsLayout(new QVBoxLayout(m_recents)),
      m_recentLabel(new SectionLabel(QStringLiteral("Recent"), std::nullopt, m_recents)) {
    // The state is read again at the click: a scan that started meanwhile is stopped, never doubled.
    m_primary->setAction([this] {
        if (m_state.isScanning()) m_state.cancelScan();
        else m_state.scan(ScanTarget::fullDisk());
    });
    m_volumes->setAction([this] { buildVolumeMenu()->popup(m_volumes->mapToGlobal(QPoint(0, m_volumes->height() + 2))); });

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(m_primary);
    auto* pair = new QHBoxLayout;
    pair->setSpacing(6);
    pair->addWidget(m_home, 1);
    pair->addWidget(m_folder, 1);
    column->addLayout(pair);
    column->addWidget(m_volumes);
    // The recent rows are one stop of Tab; the arrows walk them.
    FocusChain::makeGroup(m_recents);
    m_recentsLayout->setContentsMargins(0, 4, 0, 0);
    m_recentsLayout->setSpacing(3);
    m_recentsLayout->addWidget(m_recentLabel);
    column->addWidget(m_recents);

    // The recent rows are remade only when they can change: a new list of volumes (read after every
    // scan, off this thread) leaves them, and a click on one of them, alone.
    connect(&m_state, &AppState::isScanningChanged, this, &SidebarScanActions::refresh);
    connect(&m_state, &AppState::recentsChanged, this, &SidebarScanActions::rebuildRecents);
    connect(&m_state, &AppState::volumesChanged, this,
            [this] { m_volumes->setVisible(m_state.volumes().size() > 1); });
    refresh();
}

QMenu* SidebarScanActions::buildVolumeMenu() {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const VolumeInfo& volume : m_state.volumes()) {
        // A menu takes "&" for the mark of a shortcut letter: doubled, a label shows as written.
        QString name = TextDraw::oneLine(QString::fromStdString(volume.name));
        name.replace(QLatin1Char('&'), QStringLiteral("&&"));
        const QString text = name + QStringLiteral(" — ") + DisplayText::sizeText(volume.total);
        QAction* action = menu->addAction(text);
        // A volume gone between the listing and the click is the scan road's to report.
        ScanTarget target{volume.path, volume.name, volume.isRoot};
        connect(action, &QAction::triggered, this, [this, target] { m_state.scan(target); });
    }
    return menu;
}

void SidebarScanActions::refresh() {
    const bool scanning = m_state.isScanning();
    m_primary->setTitle(scanning ? QStringLiteral("Stop Scan") : QStringLiteral("Scan Full Mac"));
    m_primary->setSymbol(scanning ? "stop.fill" : "externaldrive.fill");
    m_volumes->setVisible(m_state.volumes().size() > 1);
    rebuildRecents();
}

void SidebarScanActions::rebuildRecents() {
    // A row may be the one whose click started this: it goes once its click has finished.
    for (ClickableWidget* row : m_recentRows) {
        row->hide();
        m_recentsLayout->removeWidget(row);
        row->deleteLater();
    }
    m_recentRows.clear();
    const auto& recents = m_state.recents();
    const bool shown = !recents.empty() && !m_state.isScanning();
    m_recents->setVisible(shown);
    if (!shown) return;
    for (std::size_t i = 0; i < recents.size() && i < std::size_t(shownRecents); ++i) {
        const ScanTarget target = recents[i];
        auto* row = new RecentRow(target, [this, target] { m_state.scan(target); }, m_recents);
        m_recentsLayout->addWidget(row);
        row->show();
        m_recentRows.push_back(row);
    }
}

} // namespace tallymere
