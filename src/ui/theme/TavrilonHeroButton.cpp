#include "ui/theme/TavrilonHeroButton.h"

#include "ui/theme/FrameTicker.h"
#include "ui/theme/Shadow.h"
#include "ui/theme/SymbolIcon.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace {
// Room around the button for its shadow (radius up to 16, falling 4 below) and hover growth.
constexpr qreal kSide = 12;
constexpr qreal kTop = 8;
constexpr qreal kBottom = 16;
constexpr double kSheenPeriod = 2.4;

QFont titleFont() { return systemFont(13, QFont::ExtraBold); }
QFont subtitleFont() { return systemFont(9.5, QFont::Medium); }
QFont iconFont() { return systemFont(12, QFont::Bold); }
QFont chevronFont() { return systemFont(10, QFont::Bold); }
}  // namespace

TavrilonHeroButton::TavrilonHeroButton(ThemeManager& themes, QString title, std::optional<QString> subtitle, QString systemImage,
                                       QWidget* parent)
    : QAbstractButton(parent), m_theme(this, themes), m_title(std::move(title)), m_subtitle(std::move(subtitle)),
      m_systemImage(std::move(systemImage))
{
    setText(m_title);
    setAccessibleName(accessibleLabel(m_title, m_subtitle));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_sheenClock.start();
    // Frames run while the button moves or its sheen shows; a resting button costs nothing.
    m_ticker = new FrameTicker(this, 33, [this](double dt) {
        const bool moving = m_scale.step(dt);
        update();
        return moving || sheenVisible();
    });
    connect(this, &QAbstractButton::pressed, this, [this] { restyle(0.18); });
    connect(this, &QAbstractButton::released, this, [this] { restyle(0.18); });
}

QString TavrilonHeroButton::accessibleLabel(const QString& title, const std::optional<QString>& subtitle)
{
    return subtitle ? title + QStringLiteral(". ") + *subtitle : title;
}

double TavrilonHeroButton::sheenAt(double seconds)
{
    const double phase = std::fmod(std::max(seconds, 0.0), kSheenPeriod) / kSheenPeriod;
    return -1.2 + 2.6 * phase;
}

double TavrilonHeroButton::scaleFor(bool pressed, bool hovering)
{
    if (pressed) return 0.975;
    return hovering ? 1.012 : 1.0;
}

double TavrilonHeroButton::sheen() const
{
    return sheenAt(double(m_sheenClock.elapsed()) / 1000.0);
}

bool TavrilonHeroButton::isAnimating() const
{
    return m_ticker->isRunning();
}

void TavrilonHeroButton::setTitle(const QString& title)
{
    m_title = title;
    setText(title);
    setAccessibleName(accessibleLabel(m_title, m_subtitle));
    updateGeometry();
    update();
}

void TavrilonHeroButton::setSubtitle(std::optional<QString> subtitle)
{
    m_subtitle = std::move(subtitle);
    setAccessibleName(accessibleLabel(m_title, m_subtitle));
    updateGeometry();
    update();
}

void TavrilonHeroButton::setSystemImage(const QString& name)
{
    m_systemImage = name;
    update();
}

void TavrilonHeroButton::setBusy(bool busy)
{
    m_busy = busy;
    setEnabled(!busy);
    if (busy) m_ticker->request();
    update();
}

void TavrilonHeroButton::restyle(double response)
{
    m_scale.setParameters(response, 0.7);
    m_scale.setTarget(scaleFor(isDown(), m_hovering));
    m_ticker->request();
    update();
}

void TavrilonHeroButton::enterEvent(QEnterEvent*)
{
    m_hovering = true;
    restyle(0.28);
}

void TavrilonHeroButton::leaveEvent(QEvent*)
{
    m_hovering = false;
    restyle(0.28);
}

void TavrilonHeroButton::showEvent(QShowEvent*)
{
    if (sheenVisible() || !m_scale.atRest()) m_ticker->request();
}

QSize TavrilonHeroButton::sizeHint() const
{
    const QFontMetricsF title(titleFont());
    qreal textHeight = title.height();
    qreal textWidth = title.horizontalAdvance(m_title);
    if (m_subtitle) {
        const QFontMetricsF sub(subtitleFont());
        textHeight += 1 + sub.height();
        textWidth = std::max(textWidth, sub.horizontalAdvance(*m_subtitle));
    }
    const qreal content = std::max<qreal>(26, textHeight) + 22;
    return {int(std::ceil(28 + 26 + 10 + textWidth + 4 + 10 + 10 + 2 * kSide)), int(std::ceil(content + kTop + kBottom))};
}

bool TavrilonHeroButton::hitButton(const QPoint& pos) const
{
    return shapeRect().contains(pos);
}

QRectF TavrilonHeroButton::shapeRect() const
{
    return QRectF(rect()).adjusted(kSide, kTop, -kSide, -kBottom);
}

void TavrilonHeroButton::paintEvent(QPaintEvent*)
{
    const PaletteTheme& t = m_theme.theme();
    const QRectF r = shapeRect();
    if (r.width() <= 0 || r.height() <= 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setOpacity(m_busy ? 0.85 : 1.0);
    p.translate(r.center());
    p.scale(m_scale.value(), m_scale.value());
    p.translate(-r.center());

    QPainterPath shape;
    shape.addRoundedRect(r, 12, 12);
    // Hover frames repaint the button many times a second; the blur is made once per look.
    m_shadow.draw(p, r, withOpacity(t.firstStop(), m_hovering ? 0.55 : 0.35), m_hovering ? 16 : 10, {0, 4}, 12,
                  [&](QPainter& lp) { lp.fillPath(shape, Qt::black); });

    p.save();
    p.setClipPath(shape);
    p.fillPath(shape, stopsBrush(t.stops(), r.topLeft(), r.bottomRight()));
    QLinearGradient gloss(r.topLeft(), QPointF(r.left(), r.center().y()));
    gloss.setColorAt(0, withOpacity(Qt::white, 0.28));
    gloss.setColorAt(1, Qt::transparent);
    p.fillPath(shape, gloss);

    if (sheenVisible()) {
        const qreal w = r.width();
        const QRectF band(r.left() + w * sheen(), r.top(), 0.45 * w, r.height());
        p.save();
        p.translate(band.center());
        p.rotate(18);
        p.translate(-band.center());
        QLinearGradient light(band.topLeft(), band.bottomRight());
        light.setColorAt(0, Qt::transparent);
        light.setColorAt(0.5, withOpacity(Qt::white, 0.34));
        light.setColorAt(1, Qt::transparent);
        p.fillRect(band, light);
        p.restore();
    }

    QPainterPath edge;
    edge.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 11.5, 11.5);
    p.strokePath(edge, QPen(stopsBrush(buttonSkinBorderColors(t.buttonSkin, t), r.topLeft(), r.bottomRight()), 1));

    // Contents, padded 11 above and below and 14 at the sides.
    const QRectF inner = r.adjusted(14, 11, -14, -11);
    const QRectF badge(inner.left(), inner.center().y() - 13, 26, 26);
    p.setPen(Qt::NoPen);
    p.setBrush(withOpacity(Qt::white, 0.18));
    p.drawEllipse(badge);
    const qreal iconSize = QFontMetricsF(iconFont()).capHeight() * 1.4;
    const QRectF iconBox(badge.center() - QPointF(iconSize / 2, iconSize / 2), QSizeF(iconSize, iconSize));
    QColor iconColor(Qt::white);
    if (m_busy) {
        const double seconds = double(m_sheenClock.elapsed()) / 1000.0;
        iconColor.setAlphaF(float(0.6 + 0.4 * std::cos(2 * std::numbers::pi * seconds)));
    }
    SymbolIcon::paint(p, iconBox, m_busy ? QStringLiteral("hourglass") : m_systemImage, QBrush(iconColor));

    const qreal chevronSize = QFontMetricsF(chevronFont()).capHeight() * 1.3;
    const QRectF chevron(inner.right() - chevronSize + (m_hovering ? 2 : 0), inner.center().y() - chevronSize / 2, chevronSize,
                         chevronSize);
    SymbolIcon::paint(p, chevron, QStringLiteral("chevron.right"), QBrush(withOpacity(Qt::white, 0.65)));

    const qreal textLeft = badge.right() + 10;
    const qreal textWidth = std::max<qreal>(0, chevron.left() - 4 - textLeft);
    const QFontMetricsF titleMetrics(titleFont());
    qreal blockHeight = titleMetrics.height();
    std::optional<QFontMetricsF> subMetrics;
    if (m_subtitle) {
        subMetrics.emplace(subtitleFont());
        blockHeight += 1 + subMetrics->height();
    }
    qreal y = inner.center().y() - blockHeight / 2;
    p.setFont(titleFont());
    p.setPen(Qt::white);
    p.drawText(QRectF(textLeft, y, textWidth, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
               titleMetrics.elidedText(m_title, Qt::ElideRight, textWidth));
    if (m_subtitle) {
        y += titleMetrics.height() + 1;
        p.setFont(subtitleFont());
        p.setPen(withOpacity(Qt::white, 0.75));
        p.drawText(QRectF(textLeft, y, textWidth, subMetrics->height()), Qt::AlignLeft | Qt::AlignVCenter,
                   subMetrics->elidedText(*m_subtitle, Qt::ElideRight, textWidth));
    }
    p.restore();
}
