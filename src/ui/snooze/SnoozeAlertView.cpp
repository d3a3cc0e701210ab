#include "ui/snooze/SnoozeAlertView.h"

#include "ui/dashboard/NamedColor.h"
#include "ui/snooze/SnoozeViewStyle.h"
#include "ui/theme/FrameTicker.h"
#include "ui/theme/Shadow.h"
#include "ui/theme/SymbolIcon.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

using SnoozeViewStyle::Design;

namespace {

constexpr qreal spacing = 24;
constexpr qreal inset = 60;
constexpr qreal symbolSize = 120;
constexpr double pulseSeconds = 0.45;

// A font that keeps `text` on one line inside `width`, shrunk from `f` only when it must.
QFont fitting(QFont f, const QString& text, qreal width)
{
    const qreal advance = QFontMetricsF(f).horizontalAdvance(text);
    if (advance > width && advance > 0) f.setPixelSize(qMax(12, int(f.pixelSize() * width / advance)));
    return f;
}

}  // namespace

SnoozeAlertView::SnoozeAlertView(const QString& reason, int level, const QString& addressee, QWidget* parent)
    : QWidget(parent), m_reason(reason), m_level(level), m_headline(headlineText(addressee))
{
    setObjectName(QStringLiteral("SnoozeAlertView"));
    setAttribute(Qt::WA_TranslucentBackground);
    m_ticker = new FrameTicker(this, 33, [this](double dt) {
        m_phase = std::fmod(m_phase + dt, 2 * pulseSeconds);
        if (m_symbolArea.isEmpty()) update();
        else update(m_symbolArea);
        return true;
    });
}

QString SnoozeAlertView::headlineText(const QString& addressee)
{
    if (addressee.trimmed().isEmpty()) return QStringLiteral("WAKE UP");
    return QStringLiteral("WAKE UP, ") + addressee.trimmed().toUpper();
}

QColor SnoozeAlertView::levelColor(int level)
{
    switch (level) {
    case 0: return namedColor(NamedColor::blue);
    case 1: return namedColor(NamedColor::green);
    case 2: return namedColor(NamedColor::yellow);
    case 3: return namedColor(NamedColor::orange);
    default: return namedColor(NamedColor::red);
    }
}

QColor SnoozeAlertView::washColor() const
{
    QColor c = levelColor(m_level);
    c.setAlphaF(0.55f);
    return c;
}

QString SnoozeAlertView::counterText() const
{
    return QStringLiteral("Alert ") + QString::number(qint64(m_level) + 1) + QStringLiteral(" of 5 before mandatory rest");
}

QString SnoozeAlertView::hintText()
{
    return QStringLiteral("Press  ") + SnoozeViewStyle::shortcutLabel + QStringLiteral("  to dismiss");
}

void SnoozeAlertView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_ticker->request();
}

void SnoozeAlertView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(rect(), washColor());

    const qreal width = qMax<qreal>(1, this->width() - 2 * inset);
    const QFont headlineFont = fitting(SnoozeViewStyle::font(96, QFont::Black, Design::rounded),
                                       m_headline, width);
    const QFont reasonFont = SnoozeViewStyle::font(32, QFont::DemiBold, Design::rounded);
    const QFont hintFont = fitting(SnoozeViewStyle::font(24, QFont::Bold, Design::monospaced), hintText(), width - 56);
    const QFont counterFont = SnoozeViewStyle::font(16, QFont::Medium);

    const QFontMetricsF headlineMetrics(headlineFont);
    const QRectF reasonBox = QFontMetricsF(reasonFont).boundingRect(QRectF(0, 0, width, 10000),
                                                                    Qt::TextWordWrap | Qt::AlignHCenter, m_reason);
    const QFontMetricsF hintMetrics(hintFont);
    const QSizeF hintSize(hintMetrics.horizontalAdvance(hintText()) + 56, hintMetrics.height() + 24);
    const qreal counterHeight = QFontMetricsF(counterFont).height();

    const qreal total = symbolSize + headlineMetrics.height() + reasonBox.height() + hintSize.height() + counterHeight +
                        4 * spacing;
    qreal y = qMax(inset, (height() - total) / 2);
    const qreal centreX = this->width() / 2.0;

    // The eye fades between full and half opacity, easing in and out.
    p.save();
    p.setOpacity(0.75 + 0.25 * std::cos(M_PI * m_phase / pulseSeconds));
    const QRectF symbolRect(centreX - symbolSize / 2, y, symbolSize, symbolSize);
    m_symbolArea = symbolRect.toAlignedRect().adjusted(-1, -1, 1, 1);
    SymbolIcon::paint(p, symbolRect, QStringLiteral("eye.slash.fill"), Qt::white);
    p.restore();
    y += symbolSize + spacing;

    const QRectF headlineRect(inset, y, width, headlineMetrics.height());
    auto drawHeadline = [&](QPainter& painter) {
        painter.setFont(headlineFont);
        painter.setPen(Qt::white);
        painter.drawText(headlineRect, Qt::AlignCenter, m_headline);
    };
    // The headline's text and font follow the width alone, so the size keys its shape.
    m_headlineShadow.draw(p, headlineRect, Qt::black, 6, QPointF(0, 2), quint64(headlineFont.pixelSize()), drawHeadline);
    drawHeadline(p);
    y += headlineRect.height() + spacing;

    p.setFont(reasonFont);
    p.setPen(SnoozeViewStyle::white(0.94));
    p.drawText(QRectF(inset, y, width, reasonBox.height()), Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop, m_reason);
    y += reasonBox.height() + spacing;

    const QRectF hintRect(centreX - hintSize.width() / 2, y, hintSize.width(), hintSize.height());
    QPainterPath hintShape;
    hintShape.addRoundedRect(hintRect, 12, 12);
    p.fillPath(hintShape, QColor(0, 0, 0, 115));
    p.setFont(hintFont);
    p.setPen(Qt::white);
    p.drawText(hintRect, Qt::AlignCenter, hintText());
    y += hintRect.height() + spacing;

    p.setFont(counterFont);
    p.setPen(SnoozeViewStyle::white(0.75));
    p.drawText(QRectF(inset, y, width, counterHeight), Qt::AlignCenter, counterText());
}
