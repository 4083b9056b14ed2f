#include "views/settings/PreferencesView.h"

#include "state/AppState.h"
#include "core/DiskInfo.h"
#include "views/components/TextDraw.h"
#include "views/components/WindowPlacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tallymere {

namespace {

constexpr int minDepth = 2;
constexpr int maxDepth = 12;

// The rounded card of a grouped form: the rows sit on the base colour inside a hairline border.
class FormSection : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(QPen(palette().color(QPalette::Mid), 1));
        painter.setBrush(palette().color(QPalette::Base));
        painter.drawRoundedRect(card, 8, 8);
    }
};

// A control pushed to the trailing edge of its row, as grouped forms place them.
QWidget* trailing(QWidget* control) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch();
    layout->addWidget(control);
    return row;
}

// The depth's number, its digits in cells of one width so the row keeps still as it changes.
class DepthLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        TextDraw::Style style;
        style.font = font();
        style.color = palette().color(QPalette::WindowText);
        style.alignment = alignment();
        style.monospacedDigits = true;
        TextDraw::draw(painter, contentsRect(), text(), style);
    }
};

} // namespace

QString depthText(double depth) {
    // "+ 0.0" turns a truncated -0 into 0.
    return QString::number(std::trunc(depth) + 0.0, 'f', 0);
}

PreferencesView::PreferencesView(AppState& state, QWidget* parent) : QWidget(parent), m_state(state) {
    setFixedSize(fixedWidth, fixedHeight);
    // The desktop's form font, also when the rest of the application draws in its own faces.
    setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    setAutoFillBackground(true);

    auto* section = new FormSection(this);
    auto* form = new QFormLayout(section);
    form->setContentsMargins(16, 12, 16, 12);
    form->setHorizontalSpacing(16);
    form->setVerticalSpacing(12);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);

    m_theme = new QComboBox;
    for (ThemeID id : ThemeIDs::all)
        m_theme->addItem(QString::fromUtf8(ThemeIDs::title(id)), QString::fromUtf8(ThemeIDs::rawValue(id)));
    form->addRow(QStringLiteral("Theme"), trailing(m_theme));

    m_allocated = new QCheckBox;
    form->addRow(QStringLiteral("Measure size on disk (allocated)"), trailing(m_allocated));
    m_labels = new QCheckBox;
    form->addRow(QStringLiteral("Draw labels on visualisations"), trailing(m_labels));

    m_depth = new QSlider(Qt::Horizontal);
    m_depth->setRange(minDepth, maxDepth);
    m_depth->setSingleStep(1);
    m_depth->setPageStep(1);
    m_depth->setTickPosition(QSlider::NoTicks);
    m_depthText = new DepthLabel;
    // Two digit cells: the row keeps its width as the number changes.
    m_depthText->setMinimumWidth(QFontMetrics(font()).horizontalAdvance(QStringLiteral("00")) + 2);
    m_depthText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* depthRow = new QWidget;
    auto* depthLayout = new QHBoxLayout(depthRow);
    depthLayout->setContentsMargins(0, 0, 0, 0);
    depthLayout->addWidget(m_depth, 1, Qt::AlignVCenter);
    depthLayout->addWidget(m_depthText, 0, Qt::AlignVCenter);
    form->addRow(QStringLiteral("Default depth"), depthRow);

    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    form->addRow(divider);

    m_access = new QLabel;
    m_access->setTextFormat(Qt::PlainText);
    m_openSettings = new QPushButton(QStringLiteral("Open Settings…"));
    auto* accessRow = new QWidget;
    auto* accessLayout = new QHBoxLayout(accessRow);
    accessLayout->setContentsMargins(0, 0, 0, 0);
    accessLayout->setSpacing(8);
    accessLayout->addStretch();
    accessLayout->addWidget(m_access, 0, Qt::AlignVCenter);
    accessLayout->addWidget(m_openSettings, 0, Qt::AlignVCenter);
    form->addRow(QStringLiteral("Full Disk Access"), accessRow);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(20, 20, 20, 20);
    outer->addWidget(section);
    outer->addStretch();

    connect(m_theme, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(ThemeIDs::all.size()))
            m_state.setThemeID(ThemeIDs::all[static_cast<std::size_t>(index)]);
    });
    connect(m_allocated, &QCheckBox::toggled, this, [this](bool on) { m_state.setUseAllocatedSize(on); });
    connect(m_labels, &QCheckBox::toggled, this, [this](bool on) { m_state.setShowLabels(on); });
    connect(m_depth, &QSlider::valueChanged, this, [this](int value) { m_state.setTreemapDepth(value); });
    // This desktop has no privacy pane to open: the store explains what reading every folder takes.
    connect(m_openSettings, &QPushButton::clicked, this, [this] { m_state.explainFullDiskAccess(); });

    // Only what the view shows: scan ticks and pointer moves leave it alone.
    for (auto signal : {&AppState::themeIDChanged, &AppState::useAllocatedSizeChanged, &AppState::showLabelsChanged,
                        &AppState::treemapDepthChanged})
        connect(&m_state, signal, this, &PreferencesView::refreshControls);
    refreshControls();
    refreshAccess();
}

void PreferencesView::showEvent(QShowEvent* event) {
    refreshControls();
    refreshAccess();
    QWidget::showEvent(event);
    // Opened from the menu it comes up over the main window; shown again by the desktop (after
    // minimising) it stays where the user left it.
    if (isWindow() && !event->spontaneous() && parentWidget())
        WindowPlacement::centreOver(this, parentWidget()->window());
}

void PreferencesView::keyPressEvent(QKeyEvent* event) {
    // Escape and Ctrl+W close the window as its title bar does. Escape reaches here only when no
    // control took it first: an open list of themes closes itself and leaves the window open.
    const bool escape = event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier;
    if (isWindow() && (escape || event->matches(QKeySequence::Close))) {
        close();
        return event->accept();
    }
    QWidget::keyPressEvent(event);
}

void PreferencesView::changeEvent(QEvent* event) {
    // The permission may have changed while another window was in front.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) refreshAccess();
    QWidget::changeEvent(event);
}

void PreferencesView::refreshControls() {
    // Writing the controls from the store must not write the store back (a restored depth of 40
    // would become 12 through the slider).
    {
        QSignalBlocker block(m_theme);
        auto found = std::find(ThemeIDs::all.begin(), ThemeIDs::all.end(), m_state.themeID());
        m_theme->setCurrentIndex(static_cast<int>(found - ThemeIDs::all.begin()));
    }
    {
        QSignalBlocker block(m_allocated);
        m_allocated->setChecked(m_state.useAllocatedSize());
    }
    {
        QSignalBlocker block(m_labels);
        m_labels->setChecked(m_state.showLabels());
    }
    double depth = m_state.treemapDepth();
    {
        QSignalBlocker block(m_depth);
        double shown = std::isfinite(depth) ? std::clamp(std::trunc(depth), double(minDepth), double(maxDepth))
                                            : double(minDepth);
        m_depth->setValue(static_cast<int>(shown));
    }
    m_depthText->setText(tallymere::depthText(depth));
}

void PreferencesView::refreshAccess() {
    const bool granted = m_state.hasFullDiskAccess();
    m_access->setText(granted ? QStringLiteral("Granted") : QStringLiteral("Not granted"));
    QPalette statusPalette = m_access->palette();
    statusPalette.setColor(QPalette::WindowText, granted ? grantedColor() : notGrantedColor());
    m_access->setPalette(statusPalette);
}

} // namespace tallymere
