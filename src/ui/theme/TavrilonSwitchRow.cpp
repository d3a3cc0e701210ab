#include "ui/theme/TavrilonSwitchRow.h"

#include "ui/theme/SymbolIcon.h"
#include "ui/theme/TavrilonToggle.h"

#include <QFontMetricsF>
#include <cmath>

namespace {
constexpr qreal kIconWidth = 16;
constexpr qreal kSpacing = 9;
constexpr qreal kMinGap = 6;

QFont titleFont() { return systemFont(11.5, QFont::DemiBold); }
QFont detailFont() { return systemFont(9); }
}  // namespace

TavrilonSwitchRow::TavrilonSwitchRow(ThemeManager& themes, QString title, QString systemImage, std::optional<QString> detail,
                                     QWidget* parent)
    : QWidget(parent), m_theme(this, themes), m_title(std::move(title)), m_systemImage(std::move(systemImage)),
      m_detail(std::move(detail)), m_toggle(new TavrilonToggle(themes, this))
{
    m_toggle->setAccessibleName(m_title);
    connect(m_toggle, &TavrilonToggle::toggled, this, [this](bool on) {
        update();  // the icon follows the switch
        Q_EMIT toggled(on);
    });
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void TavrilonSwitchRow::setDetail(std::optional<QString> detail)
{
    m_detail = std::move(detail);
    updateGeometry();
    update();
}

bool TavrilonSwitchRow::isOn() const
{
    return m_toggle->isOn();
}

void TavrilonSwitchRow::setOn(bool on)
{
    m_toggle->setOn(on);
}

QSize TavrilonSwitchRow::sizeHint() const
{
    const QFontMetricsF title(titleFont());
    qreal textHeight = title.height();
    qreal textWidth = title.horizontalAdvance(m_title);
    if (m_detail) {
        const QFontMetricsF detail(detailFont());
        textHeight += detail.height();
        textWidth = std::max(textWidth, detail.horizontalAdvance(*m_detail));
    }
    const QSize toggle = m_toggle->sizeHint();
    return {int(std::ceil(kIconWidth + kSpacing + textWidth + kSpacing + kMinGap + toggle.width())),
            int(std::ceil(std::max<qreal>(textHeight, toggle.height())))};
}

void TavrilonSwitchRow::resizeEvent(QResizeEvent*)
{
    const QSize toggle = m_toggle->sizeHint();
    m_toggle->setGeometry(width() - toggle.width(), (height() - toggle.height()) / 2, toggle.width(), toggle.height());
}

void TavrilonSwitchRow::paintEvent(QPaintEvent*)
{
    const PaletteTheme& t = m_theme.theme();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal midY = height() / 2.0;

    const QFont iconFont = systemFont(11, QFont::DemiBold);
    const qreal iconSize = QFontMetricsF(iconFont).capHeight() * 1.4;
    const QRectF iconBox(0, midY - iconSize / 2, kIconWidth, iconSize);
    const QBrush iconBrush = isOn() ? stopsBrush(t.stops(), iconBox.topLeft(), iconBox.topRight()) : QBrush(t.textDim);
    SymbolIcon::paint(p, iconBox, m_systemImage, iconBrush);

    const qreal textLeft = kIconWidth + kSpacing;
    const qreal textRight = m_toggle->x() - kMinGap;
    const QFontMetricsF titleMetrics(titleFont());
    qreal blockHeight = titleMetrics.height();
    std::optional<QFontMetricsF> detailMetrics;
    if (m_detail) {
        detailMetrics.emplace(detailFont());
        blockHeight += detailMetrics->height();
    }
    qreal y = midY - blockHeight / 2;
    const qreal textWidth = std::max<qreal>(0, textRight - textLeft);
    p.setFont(titleFont());
    p.setPen(t.text);
    p.drawText(QRectF(textLeft, y, textWidth, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
               titleMetrics.elidedText(m_title, Qt::ElideRight, textWidth));
    if (m_detail) {
        y += titleMetrics.height();
        p.setFont(detailFont());
        p.setPen(t.textDim);
        p.drawText(QRectF(textLeft, y, textWidth, detailMetrics->height()), Qt::AlignLeft | Qt::AlignVCenter,
                   detailMetrics->elidedText(*m_detail, Qt::ElideRight, textWidth));
    }
}
