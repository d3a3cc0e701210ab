#include "ui/dashboard/maintenance/MaintenanceActionRow.h"

#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/NamedColor.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/dashboard/TextView.h"
#include "ui/dashboard/maintenance/MaintenanceModel.h"
#include "ui/dashboard/WrappedTextView.h"
#include "ui/theme/ThemeManager.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr int kSpinnerSide = 14;
constexpr int kSpinnerSteps = 12;

}  // namespace

MaintenanceActionButton::MaintenanceActionButton(const QString& label, ThemeManager& themes, QWidget* parent)
    : QAbstractButton(parent), m_theme(this, themes)
{
    setText(label);
    setFont(DashboardStyle::font(12, QFont::DemiBold));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_spin.setInterval(80);
    connect(&m_spin, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % kSpinnerSteps;
        update();
    });
}

void MaintenanceActionButton::setWorking(bool working)
{
    if (working == m_working) return;
    m_working = working;
    syncSpinner();
    update();
}

void MaintenanceActionButton::syncSpinner()
{
    // The spinner turns only while it is seen.
    if (m_working && isVisible()) {
        if (!m_spin.isActive()) m_spin.start();
    } else {
        m_spin.stop();
    }
}

void MaintenanceActionButton::showEvent(QShowEvent*) { syncSpinner(); }
void MaintenanceActionButton::hideEvent(QHideEvent*) { syncSpinner(); }

void MaintenanceActionButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) update();
    QAbstractButton::changeEvent(event);
}

QSize MaintenanceActionButton::sizeHint() const
{
    // The same size with the label or the spinner, so the row never jumps.
    const QFontMetrics fm(font());
    return {std::max(fm.horizontalAdvance(text()), kSpinnerSide) + 36, std::max(fm.height(), kSpinnerSide) + 12};
}

void MaintenanceActionButton::paintEvent(QPaintEvent*)
{
    const PaletteTheme& theme = m_theme.theme();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool enabled = isEnabled();
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 6, 6);
    p.fillPath(shape, enabled ? theme.accent : withOpacity(theme.textDim, 0.3));
    const QColor foreground = enabled ? QColor(Qt::black) : theme.textDim;
    if (m_working) {
        // A ring of fading ticks, the brightest one moving round.
        const QPointF centre = QRectF(rect()).center();
        for (int i = 0; i < kSpinnerSteps; ++i) {
            const double age = double((m_step - i + kSpinnerSteps) % kSpinnerSteps) / kSpinnerSteps;
            QColor tick = foreground;
            tick.setAlphaF(float(1.0 - 0.85 * age));
            p.save();
            p.translate(centre);
            p.rotate(360.0 * i / kSpinnerSteps);
            p.setPen(QPen(tick, 1.6, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(0, -kSpinnerSide / 2.0 + 0.5), QPointF(0, -kSpinnerSide / 4.0));
            p.restore();
        }
        return;
    }
    p.setFont(font());
    p.setPen(foreground);
    p.drawText(rect(), Qt::AlignCenter, text());
}

MaintenanceActionRow::MaintenanceActionRow(const QString& icon, const QString& title, const QString& subtitle,
                                           const QString& actionLabel, bool isAuthRequired, ThemeManager& themes,
                                           QWidget* parent)
    : QWidget(parent), m_themes(themes)
{
    setObjectName(QStringLiteral("maintenanceActionRow"));
    const PaletteTheme& theme = themes.current();
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(12);
    m_icon = new SymbolView(icon, 16, theme.accentSecondary, this);
    m_icon->setFixedWidth(28);
    row->addWidget(m_icon);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(6);
    m_title = new TextView(title, DashboardStyle::font(13, QFont::DemiBold), theme.text, this);
    titleRow->addWidget(m_title);
    if (isAuthRequired) {
        m_lock = new SymbolView(QStringLiteral("lock.shield"), 10, theme.warning, this);
        titleRow->addWidget(m_lock);
        m_authNote = new TextView(MaintenanceModel::passwordNote, DashboardStyle::font(10), theme.warning, this);
        m_authNote->setObjectName(QStringLiteral("authNote"));
        titleRow->addWidget(m_authNote);
    }
    titleRow->addStretch(1);
    texts->addLayout(titleRow);
    m_subtitle = new WrappedTextView(subtitle, DashboardStyle::font(11), theme.textDim, 2, this);
    texts->addWidget(m_subtitle);
    row->addLayout(texts, 1);

    m_button = new MaintenanceActionButton(actionLabel, themes, this);
    row->addWidget(m_button, 0, Qt::AlignVCenter);
    connect(m_button, &QAbstractButton::clicked, this, &MaintenanceActionRow::triggered);
    connect(&themes, &ThemeManager::currentChanged, this, &MaintenanceActionRow::recolour);
}

QString MaintenanceActionRow::title() const { return m_title->text(); }
QString MaintenanceActionRow::subtitle() const { return m_subtitle->text(); }

void MaintenanceActionRow::setSubtitle(const QString& subtitle)
{
    m_subtitle->setText(subtitle);
}

void MaintenanceActionRow::setState(bool isWorking, bool enabled)
{
    m_button->setWorking(isWorking);
    m_button->setEnabled(enabled);
    m_enabled = enabled;
    recolour();
}

void MaintenanceActionRow::recolour()
{
    const PaletteTheme& theme = m_themes.current();
    m_icon->setColor(m_enabled ? theme.accentSecondary : theme.textDim);
    m_title->setColor(theme.text);
    m_subtitle->setColor(theme.textDim);
    if (m_lock) m_lock->setColor(theme.warning);
    if (m_authNote) m_authNote->setColor(theme.warning);
}
