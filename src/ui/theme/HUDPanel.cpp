#include "ui/theme/HUDPanel.h"

#include "ui/theme/Blit.h"
#include "ui/theme/CircuitTexture.h"
#include "ui/theme/CornerBracketFrame.h"
#include "ui/theme/ThemeManager.h"

#include <QChildEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>


// The border and brackets lie over the panel's contents, so they live in a child kept on top.
class HUDPanel::Frame : public QWidget {
public:
    explicit Frame(HUDPanel* panel) : QWidget(panel), m_panel(panel)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        const PaletteTheme& t = m_panel->theme();
        const qreal r = m_panel->cornerRadius();
        QPainter p(this);
        const CornerBracketFrame::Style style{
            .color = HUDPanel::bracketColor(m_panel->accent(), t),
            .cornerRadius = r,
            .bracketLength = 12,
            .lineWidth = 1.4,
            .inset = 2,
            .hairline = withOpacity(t.mono, 0.18),
            .glow = t.accentGlow,
            .enableGlow = t.enableNeonGlow,
        };
        const qreal dpr = devicePixelRatioF();
        // Contents that animate repaint this overlay too: the border and the brackets (with
        // their glow) are drawn once per look, and a frame copies them.
        if (m_cache.isNull() || !(style == m_style) || m_border != t.border || m_cache.deviceIndependentSize() != QSizeF(size()) ||
            m_cache.devicePixelRatio() != dpr) {
            m_cache = QImage((QSizeF(size()) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
            m_cache.setDevicePixelRatio(dpr);
            m_cache.fill(Qt::transparent);
            QPainter cp(&m_cache);
            cp.setRenderHint(QPainter::Antialiasing);
            cp.setPen(QPen(withOpacity(t.border, 0.5), 1));
            cp.setBrush(Qt::NoBrush);
            cp.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), r, r);
            cp.drawImage(QPointF(0, 0), CornerBracketFrame::render(size(), style, dpr));
            m_style = style;
            m_border = t.border;
        }
        HUDPanel::copyRegion(p, m_cache, event->region());
    }

private:
    HUDPanel* m_panel;
    QImage m_cache;
    CornerBracketFrame::Style m_style;
    QColor m_border;
};

HUDPanel::HUDPanel(ThemeManager& themes, QWidget* parent) : QWidget(parent), m_theme(this, themes)
{
    m_frame = new Frame(this);
    connect(&themes, &ThemeManager::currentChanged, m_frame, [this] { m_frame->update(); });
}

void HUDPanel::setCornerRadius(qreal radius)
{
    if (radius == m_cornerRadius) return;
    m_cornerRadius = radius;
    update();
    m_frame->update();
}

void HUDPanel::setAccent(std::optional<QColor> accent)
{
    if (accent == m_accent) return;
    m_accent = accent;
    m_frame->update();
}

void HUDPanel::setShowCircuit(bool show)
{
    if (show == m_showCircuit) return;
    m_showCircuit = show;
    update();
}

void HUDPanel::copyRegion(QPainter& p, const QImage& image, const QRegion& region)
{
    const qreal dpr = image.devicePixelRatio();
    for (const QRect& r : region) {
        p.save();
        p.setClipRect(r, Qt::IntersectClip);
        Blit::draw(p, QPointF(r.topLeft()), image, QRectF(QPointF(r.topLeft()) * dpr, QSizeF(r.size()) * dpr).toAlignedRect());
        p.restore();
    }
}

QColor HUDPanel::bracketColor(const std::optional<QColor>& accent, const PaletteTheme& theme)
{
    return withOpacity(accent.value_or(theme.accent), 0.55);
}

void HUDPanel::paintBackground(QPainter& p, const QRectF& area, qreal r, bool showCircuit, const PaletteTheme& t)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(area, r, r);
    p.fillPath(shape, withOpacity(t.surface, 0.72));

    QLinearGradient sheen(area.topLeft(), area.bottomLeft());
    sheen.setColorAt(0, withOpacity(t.surfaceElevated, 0.55));
    sheen.setColorAt(1, withOpacity(t.surface, 0.15));
    p.fillPath(shape, sheen);

    if (showCircuit) {
        p.save();
        p.setClipPath(shape);
        CircuitTexture::paint(p, area, {.color = t.accentSecondary, .opacity = 0.045, .spacing = 22});
        p.restore();
    }

    QLinearGradient highlight(area.topLeft(), QPointF(area.left(), area.center().y()));
    highlight.setColorAt(0, withOpacity(Qt::white, 0.05));
    highlight.setColorAt(1, Qt::transparent);
    p.fillPath(shape, highlight);
    p.restore();
}

void HUDPanel::paintEvent(QPaintEvent* event)
{
    // The background stays as it is until the size, the palette, the corners or the texture
    // change; a repaint under a child's animation copies it.
    const PaletteTheme& t = theme();
    const qreal dpr = devicePixelRatioF();
    const QString key = QStringLiteral("%1|%2|%3|%4|%5")
                            .arg(quint64(t.surface.rgba64()))
                            .arg(quint64(t.surfaceElevated.rgba64()))
                            .arg(quint64(t.accentSecondary.rgba64()))
                            .arg(m_cornerRadius)
                            .arg(int(m_showCircuit));
    if (m_background.isNull() || key != m_backgroundKey || m_background.deviceIndependentSize() != QSizeF(size()) ||
        m_background.devicePixelRatio() != dpr) {
        m_background = QImage((QSizeF(size()) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
        m_background.setDevicePixelRatio(dpr);
        m_background.fill(Qt::transparent);
        QPainter bp(&m_background);
        paintBackground(bp, rect(), m_cornerRadius, m_showCircuit, t);
        m_backgroundKey = key;
    }
    QPainter p(this);
    copyRegion(p, m_background, event->region());
}

bool HUDPanel::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::Resize: m_frame->setGeometry(rect()); break;
    case QEvent::ChildAdded:
    case QEvent::ChildPolished:
        if (m_frame && static_cast<QChildEvent*>(e)->child() != m_frame) m_frame->raise();
        break;
    default: break;
    }
    return QWidget::event(e);
}
