#include "ui/shell/HUDWidgetView.h"

#include "ui/dashboard/AIInsightsModel.h"

#include "actions/EpitopeLibrary.h"
#include "core/AppSettings.h"
#include "monitoring/PerformanceMonitor.h"
#include "optimisation/AIEngine.h"
#include "ui/chat/SymbolButton.h"
#include "ui/shell/HeroDeltaView.h"
#include "ui/theme/AnimatedWaveform.h"
#include "ui/theme/Contrast.h"
#include "ui/theme/CircuitTexture.h"
#include "ui/theme/CornerBracketFrame.h"
#include "ui/theme/FrameTicker.h"
#include "ui/theme/Blit.h"
#include "ui/theme/HUDPanel.h"
#include "ui/theme/HexGauge.h"
#include "ui/theme/NeonGlowModifier.h"
#include "ui/theme/ScanLineOverlay.h"
#include "ui/theme/SymbolIcon.h"
#include "ui/theme/TavrilonHeroButton.h"
#include "ui/theme/TavrilonSecondaryButton.h"
#include "ui/theme/ThemeManager.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPaintEvent>
#include <QPainterPath>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int contentWidth = HUDWidgetView::width - 2 * HUDWidgetView::padding;

// Every text of the HUD uses the system font's monospaced design.
QFont mono(qreal size, QFont::Weight weight = QFont::Normal, qreal tracking = 0)
{
    QFont f = systemFont(size, weight);
    f.setFamilies({QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
    f.setStyleHint(QFont::Monospace);
    if (tracking != 0) f.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return f;
}

void glowing(QPainter& p, const QRectF& area, const QColor& color, qreal radius, bool on,
             const std::function<void(QPainter&)>& draw)
{
    NeonGlowModifier{.color = color, .radius = radius, .enabled = on}.paint(p, area, draw);
}

double easeInOut(double t) { return t < 0.5 ? 2 * t * t : 1 - std::pow(-2 * t + 2, 2) / 2; }

}  // namespace

// The four readout rows, dimmed together while the hero card is live. The dimming is a veil of
// the panel's background laid over the rows, so a gauge's animation redraws only the gauge; an
// effect over the whole group would redraw every row on each of its frames. The veil also
// greys the rows as their saturation falls.
class HUDWidgetView::ReadoutGroup : public QWidget {
public:
    explicit ReadoutGroup(HUDWidgetView& view) : QWidget(&view), m_view(view)
    {
        m_veil = new Veil(*this);
        m_ticker = new FrameTicker(this, 16, [this](double dt) {
            const double target = m_live ? 1 : 0;
            const double step = dt / 0.6;
            m_progress = m_progress < target ? std::min(target, m_progress + step) : std::max(target, m_progress - step);
            m_veil->update();
            return m_progress != target;
        });
    }
    void setLive(bool live, bool animated)
    {
        if (live == m_live && m_started) return;
        m_live = live;
        if (!animated || !m_started) {
            m_progress = live ? 1 : 0;
            m_started = true;
            m_veil->update();
            return;
        }
        m_ticker->request();
    }
    double opacity() const { return 0.88 + (0.45 - 0.88) * easeInOut(m_progress); }
    double saturation() const { return 0.95 + (0.6 - 0.95) * easeInOut(m_progress); }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::Resize) m_veil->setGeometry(rect());
        if (e->type() == QEvent::ChildAdded || e->type() == QEvent::ChildPolished || e->type() == QEvent::Resize)
            if (m_veil) m_veil->raise();
        return QWidget::event(e);
    }

private:
    class Veil : public QWidget {
    public:
        explicit Veil(ReadoutGroup& group) : QWidget(&group), m_group(group)
        {
            setAttribute(Qt::WA_TransparentForMouseEvents);
        }

    protected:
        void paintEvent(QPaintEvent* e) override
        {
            const PaletteTheme& t = m_group.m_view.m_theme.theme();
            // What the rows lose in opacity shows the panel's background instead, and the lost
            // saturation is a neutral grey of the same lightness over it: one colour, laid as
            // an image copied unscaled (a translucent fill of this many rows would be handed to
            // the rasteriser's worker threads under every gauge frame).
            const double grey = 1 - m_group.saturation();
            QImage layer(1, 1, QImage::Format_ARGB32_Premultiplied);
            layer.fill(Qt::transparent);
            {
                QPainter lp(&layer);
                lp.fillRect(QRect(0, 0, 1, 1), withOpacity(t.background, 1 - m_group.opacity()));
                if (grey > 0.06) lp.fillRect(QRect(0, 0, 1, 1), QColor(128, 128, 128, int(std::lround(grey * 0.5 * 255))));
            }
            const qreal dpr = devicePixelRatioF();
            const QSize need = (QSizeF(size()) * dpr).toSize();
            if (m_tint.size() != need || m_tint.devicePixelRatio() != dpr || m_tintColour != layer.pixel(0, 0)) {
                m_tintColour = layer.pixel(0, 0);
                m_tint = QImage(need, QImage::Format_ARGB32_Premultiplied);
                m_tint.setDevicePixelRatio(dpr);
                m_tint.fill(uint(m_tintColour));  // the premultiplied pixel as it is
            }
            if (m_tintColour == 0) return;
            QPainter p(this);
            HUDPanel::copyRegion(p, m_tint, e->region());
        }

    private:
        ReadoutGroup& m_group;
        QImage m_tint;
        QRgb m_tintColour = 0;
    };

    HUDWidgetView& m_view;
    Veil* m_veil = nullptr;
    FrameTicker* m_ticker;
    bool m_live = false;
    bool m_started = false;
    double m_progress = 0;
};

class HUDWidgetView::Header : public QWidget {
public:
    explicit Header(HUDWidgetView& view) : QWidget(&view), m_view(view) { setFixedHeight(22); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const PaletteTheme& t = m_view.m_theme.theme();
        const HUDReadout::Values v = m_view.values();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const double mid = height() / 2.0;
        glowing(p, QRectF(0, mid - 9, 18, 18), t.accentSecondary, 6, t.enableNeonGlow, [&](QPainter& q) {
            SymbolIcon::paint(q, QRectF(0, mid - 9, 18, 18), QStringLiteral("shield.lefthalf.filled"), t.accentSecondary);
        });
        p.setFont(mono(12, QFont::Bold, 2));
        p.setPen(t.textBright);
        p.drawText(QRectF(26, 0, 200, height()), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TAVRILON \u00B7 HUD"));
        // The live badge sits left of the close button (22 wide).
        const QFont badge = mono(9, QFont::DemiBold);
        const double textWidth = QFontMetricsF(badge).horizontalAdvance(v.monitoring);
        const double right = width() - 22 - 8;
        const QColor health = HUDReadout::healthColor(v.health, t);
        const QRectF dot(right - textWidth - 4 - 7, mid - 3.5, 7, 7);
        glowing(p, dot, health, 5, t.enableNeonGlow, [&](QPainter& q) {
            q.setPen(Qt::NoPen);
            q.setBrush(health);
            q.drawEllipse(dot);
        });
        p.setFont(badge);
        p.setPen(t.textDim);
        p.drawText(QRectF(right - textWidth, 0, textWidth + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, v.monitoring);
    }

private:
    HUDWidgetView& m_view;
};

// CPU, memory and health beside the two gauges.
class HUDWidgetView::Tiles : public QWidget {
public:
    explicit Tiles(HUDWidgetView& view) : QWidget(&view), m_view(view) { setFixedSize(110, 78); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const PaletteTheme& t = m_view.m_theme.theme();
        const HUDReadout::Values v = m_view.values();
        QPainter p(this);
        const struct {
            QString label, value;
            QColor color;
        } rows[] = {
            {QStringLiteral("CPU"), QString::number(v.cpuPercent) + QLatin1Char('%'), t.accentSecondary},
            {QStringLiteral("MEM"), QString::number(v.memoryPercent) + QLatin1Char('%'), t.accent},
            {QStringLiteral("HEALTH"), QString::number(v.health), HUDReadout::healthColor(v.health, t)},
        };
        const double rowHeight = 16, gap = 6;
        double y = (height() - (3 * rowHeight + 2 * gap)) / 2;
        for (const auto& r : rows) {
            p.setFont(mono(8, QFont::DemiBold));
            p.setPen(t.textDim);
            p.drawText(QRectF(0, y, 46, rowHeight), Qt::AlignLeft | Qt::AlignVCenter, r.label);
            p.setFont(mono(12, QFont::Bold));
            p.setPen(legibleOn(r.color, t.background, 4.5, t.textBright));
            p.drawText(QRectF(52, y, width() - 52, rowHeight), Qt::AlignLeft | Qt::AlignVCenter, r.value);
            y += rowHeight + gap;
        }
    }

private:
    HUDWidgetView& m_view;
};

// DISK, TEMP and THERM in an instrument panel.
class HUDWidgetView::StatusTiles : public HUDPanel {
public:
    explicit StatusTiles(HUDWidgetView& view) : HUDPanel(view.m_d.themes, &view), m_view(view)
    {
        setCornerRadius(8);
        setShowCircuit(true);
        setFixedHeight(8 + 44 + 8);
    }
    void restyle() { setAccent(m_view.m_theme.theme().accentSecondary); }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        HUDPanel::paintEvent(e);
        const PaletteTheme& t = m_view.m_theme.theme();
        const HUDReadout::Values v = m_view.values();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF inner = QRectF(rect()).adjusted(10, 8, -10, -8);
        const double w = (inner.width() - 2) / 3;
        const struct {
            QString symbol, value, label;
        } tiles[] = {
            {QStringLiteral("internaldrive"), v.freeDisk, QStringLiteral("DISK")},
            {v.thermalSymbol, v.temperature, QStringLiteral("TEMP")},
            {QStringLiteral("flame"), v.thermalCaps, QStringLiteral("THERM")},
        };
        double x = inner.left();
        for (int i = 0; i < 3; ++i) {
            const QRectF tile(x, inner.top(), w, inner.height());
            SymbolIcon::paint(p, QRectF(tile.center().x() - 6, tile.top(), 12, 12), tiles[i].symbol, t.accentSecondary);
            p.setFont(mono(11, QFont::Bold));
            p.setPen(t.textBright);
            p.drawText(QRectF(tile.left(), tile.top() + 13, tile.width(), 16), Qt::AlignCenter,
                       QFontMetricsF(p.font()).elidedText(tiles[i].value, Qt::ElideRight, tile.width()));
            p.setFont(mono(7, QFont::DemiBold, 1));
            p.setPen(t.textDim);
            p.drawText(QRectF(tile.left(), tile.top() + 30, tile.width(), 12), Qt::AlignCenter, tiles[i].label);
            x += w;
            if (i < 2) {
                const QRectF divider(x, tile.center().y() - 15, 1, 30);
                QLinearGradient g(divider.topLeft(), divider.bottomLeft());
                g.setColorAt(0, Qt::transparent);
                g.setColorAt(0.5, withOpacity(t.mono, 0.35));
                g.setColorAt(1, Qt::transparent);
                p.fillRect(divider, g);
                x += 1;
            }
        }
    }

private:
    HUDWidgetView& m_view;
};

// The placeholder of the CPU trace while fewer than two points exist.
class HUDWidgetView::Trace : public QWidget {
public:
    explicit Trace(HUDWidgetView& view) : QWidget(&view), m_view(view) { setFixedHeight(36); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const PaletteTheme& t = m_view.m_theme.theme();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 6, 6);
        p.fillPath(shape, withOpacity(t.surfaceElevated, 0.4));
        p.setFont(mono(8, QFont::DemiBold));
        p.setPen(t.textDim);
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("AWAITING TELEMETRY"));
    }

private:
    HUDWidgetView& m_view;
};

// What the learning engine has learned, in an instrument panel.
class HUDWidgetView::Learned : public HUDPanel {
public:
    explicit Learned(HUDWidgetView& view) : HUDPanel(view.m_d.themes, &view), m_view(view)
    {
        setCornerRadius(8);
        setShowCircuit(true);
    }
    void restyle()
    {
        setAccent(m_view.m_theme.theme().accent);
        setFixedHeight(preferredHeight());
    }
    int preferredHeight() const
    {
        // Row, hairline, bar, personality, counters and the insight line, 4 apart, padded 10.
        int h = 10 + 12 + 4 + 1 + 4 + 5 + 4 + 14 + 4 + 14 + 10;
        if (m_view.values().topInsight) h += 4 + 13;
        return h;
    }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        HUDPanel::paintEvent(e);
        const PaletteTheme& t = m_view.m_theme.theme();
        const HUDReadout::Values v = m_view.values();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const double x = 10, w = width() - 20;
        double y = 10;
        SymbolIcon::paint(p, QRectF(x, y, 12, 12), QStringLiteral("brain.head.profile"), t.accent);
        p.setFont(mono(8, QFont::Bold, 1.5));
        p.setPen(t.textDim);
        p.drawText(QRectF(x + 16, y, w, 12), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("AI LEARNED-STATE"));
        p.setFont(mono(9, QFont::Bold));
        p.setPen(t.accent);
        p.drawText(QRectF(x, y, w, 12), Qt::AlignRight | Qt::AlignVCenter, QString::number(v.learningPercent) + QLatin1Char('%'));
        y += 12 + 4;
        QLinearGradient hair(QPointF(x, 0), QPointF(x + w, 0));
        hair.setColorAt(0, withOpacity(t.mono, 0.4));
        hair.setColorAt(1, Qt::transparent);
        p.fillRect(QRectF(x, y, w, 0.75), hair);
        y += 1 + 4;
        const QRectF track(x, y, w, 5);
        p.setPen(Qt::NoPen);
        p.setBrush(t.surfaceElevated);
        p.drawRoundedRect(track, 2.5, 2.5);
        const QRectF fill(x, y, HUDReadout::learningFillWidth(w, v.learningPercent / 100.0), 5);
        glowing(p, fill, t.accentGlow, 5, t.enableNeonGlow, [&](QPainter& q) {
            QLinearGradient g(fill.topLeft(), fill.topRight());
            g.setColorAt(0, t.accent);
            g.setColorAt(1, t.accentSecondary);
            q.setPen(Qt::NoPen);
            q.setBrush(g);
            q.drawRoundedRect(fill, 2.5, 2.5);
        });
        y += 5 + 4;
        p.setFont(mono(10, QFont::Medium));
        p.setPen(t.text);
        p.drawText(QRectF(x, y, w, 14), Qt::AlignLeft | Qt::AlignVCenter,
                   QFontMetricsF(p.font()).elidedText(v.personality, Qt::ElideRight, w));
        y += 14 + 4;
        double cx = x;
        const struct {
            int n;
            QString word;
        } counters[] = {{v.baselines, AIInsightsModel::baselineWord(v.baselines)},
                        {v.leaks, AIInsightsModel::leakWord(v.leaks)},
                        {v.anomalies, AIInsightsModel::anomalyWord(v.anomalies)}};
        for (const auto& c : counters) {
            const QString n = QString::number(c.n);
            const QFont number = mono(11, QFont::Bold), word = mono(8);
            p.setFont(number);
            p.setPen(t.accentSecondary);
            p.drawText(QRectF(cx, y, 60, 14), Qt::AlignLeft | Qt::AlignVCenter, n);
            cx += QFontMetricsF(number).horizontalAdvance(n) + 3;
            p.setFont(word);
            p.setPen(t.textDim);
            p.drawText(QRectF(cx, y, 80, 14), Qt::AlignLeft | Qt::AlignVCenter, c.word);
            cx += QFontMetricsF(word).horizontalAdvance(c.word) + 10;
        }
        y += 14;
        if (v.topInsight) {
            y += 4;
            const QColor color = v.topSeverity == AIInsight::Severity::critical  ? t.danger
                                 : v.topSeverity == AIInsight::Severity::warning ? t.warning
                                                                                 : t.textDim;
            p.setFont(mono(9));
            p.setPen(color);
            p.drawText(QRectF(x, y, w, 13), Qt::AlignLeft | Qt::AlignVCenter,
                       QFontMetricsF(p.font()).elidedText(*v.topInsight, Qt::ElideRight, w));
        }
    }

private:
    HUDWidgetView& m_view;
};

// The last three chat lines.
class HUDWidgetView::Transcript : public QWidget {
public:
    explicit Transcript(HUDWidgetView& view) : QWidget(&view), m_view(view) {}
    struct Line {
        QString text;
        bool user;
        bool notice;
    };
    QList<Line> lines() const
    {
        const QList<HUDChatLine>& all = m_view.m_chat->transcript();
        QList<Line> out;
        for (qsizetype i = std::max<qsizetype>(0, all.size() - 3); i < all.size(); ++i)
            out << Line{all[i].isUser ? QStringLiteral("\u203A ") + all[i].text : all[i].text, all[i].isUser,
                        all[i].isGateNotice};
        return out;
    }
    // At most two lines each, 4 apart.
    int preferredHeight() const
    {
        const QFontMetricsF fm(mono(9));
        int h = 0;
        for (const Line& l : lines()) {
            const QRectF r = fm.boundingRect(QRectF(0, 0, contentWidth, 1000), Qt::TextWordWrap, l.text);
            h += int(std::ceil(std::min(r.height(), 2 * fm.lineSpacing()))) + 4;
        }
        return std::max(0, h - 4);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const PaletteTheme& t = m_view.m_theme.theme();
        QPainter p(this);
        const QFont f = mono(9);
        p.setFont(f);
        const QFontMetricsF fm(f);
        double y = 0;
        for (const Line& l : lines()) {
            const QRectF r = fm.boundingRect(QRectF(0, 0, width(), 1000), Qt::TextWordWrap, l.text);
            const double h = std::ceil(std::min(r.height(), 2 * fm.lineSpacing()));
            p.setPen(l.user ? t.textDim : l.notice ? t.warning : t.text);
            p.save();
            p.setClipRect(QRectF(0, y, width(), h));
            p.drawText(QRectF(0, y, width(), h + fm.lineSpacing()), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, l.text);
            p.restore();
            y += h + 4;
        }
    }

private:
    HUDWidgetView& m_view;
};

// The input box: its rounded background, sheen and the border that lights up with focus.
class HUDWidgetView::InputBox : public QWidget {
public:
    explicit InputBox(HUDWidgetView& view) : QWidget(&view), m_view(view) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        const PaletteTheme& t = m_view.m_theme.theme();
        const bool focused = m_view.m_field && m_view.m_field->hasFocus();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
        QPainterPath shape;
        shape.addRoundedRect(box, 8, 8);
        p.fillPath(shape, withOpacity(t.surfaceElevated, 0.85));
        QLinearGradient sheen(box.topLeft(), QPointF(box.left(), box.center().y()));
        sheen.setColorAt(0, withOpacity(Qt::white, 0.04));
        sheen.setColorAt(1, Qt::transparent);
        p.fillPath(shape, sheen);
        const QPen pen(focused ? t.accentSecondary : t.border, focused ? 1.2 : 1);
        glowing(p, box, t.accentSecondary, 5, focused && t.enableNeonGlow, [&](QPainter& q) {
            q.setPen(pen);
            q.setBrush(Qt::NoBrush);
            q.drawPath(shape);
        });
    }

private:
    HUDWidgetView& m_view;
};

HUDWidgetView::HUDWidgetView(HUDWidgetDeps deps, QWidget* parent)
    : QWidget(parent), m_d(std::move(deps)), m_theme(this, m_d.themes)
{
    setObjectName(QStringLiteral("HUDWidgetView"));
    setFixedWidth(width);
    m_chat = std::make_unique<HUDMiniChat>(m_d.chat);
    m_optimizer = std::make_unique<QuickOptimizer>(m_d.optimize);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(12);
    column->setSizeConstraint(QLayout::SetFixedSize);

    // 1. Header.
    m_header = new Header(*this);
    m_header->setFixedWidth(contentWidth);
    m_close = new SymbolButton(QStringLiteral("xmark.circle.fill"), 16, m_header);
    m_close->setToolTip(QStringLiteral("Hide HUD"));
    m_close->setAccessibleName(QStringLiteral("Hide HUD"));
    m_close->setGeometry(contentWidth - 20, 1, 20, 20);
    connect(m_close, &QAbstractButton::clicked, this, [this] {
        if (m_d.onClose) m_d.onClose();
    });
    column->addWidget(m_header);

    // 2. The hero card.
    m_hero = new HeroDeltaView(HeroDeltaDeps{m_d.epitopes, m_d.themes, m_d.shell, m_d.settings}, this);
    m_hero->setFixedWidth(contentWidth);
    // The card draws the panel's frame under itself: its breathing, three frames a second for
    // as long as the panel is up, then redraws the card's area alone.
    m_hero->setBackdrop([this](QPainter& p, const QRect& area) {
        // What the window itself lays under this view first: nothing on a see-through panel,
        // else its background colour.
        QWidget* top = window();
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(area, top->testAttribute(Qt::WA_TranslucentBackground) ? QBrush(Qt::transparent)
                                                                          : top->palette().brush(top->backgroundRole()));
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        const QImage& frame = background();
        const qreal dpr = frame.devicePixelRatio();
        const QRectF source(QPointF(area.topLeft() + m_hero->pos()) * dpr, QSizeF(area.size()) * dpr);
        Blit::draw(p, QPointF(area.topLeft()), frame, source.toAlignedRect());
    });
    column->addWidget(m_hero);

    // 3. The live readout, dimmed together while the hero is live.
    m_readout = new ReadoutGroup(*this);
    auto* readout = new QVBoxLayout(m_readout);
    readout->setContentsMargins(0, 0, 0, 0);
    readout->setSpacing(12);
    auto* gauges = new QHBoxLayout;
    gauges->setSpacing(10);
    m_cpuGauge = new HexGauge(m_d.themes, m_readout);
    m_memGauge = new HexGauge(m_d.themes, m_readout);
    for (HexGauge* g : {m_cpuGauge, m_memGauge}) {
        g->setFixedSize(78, 78);
        g->setTickCount(40);
        g->setSweepDegrees(270);
        gauges->addWidget(g);
    }
    m_tiles = new Tiles(*this);
    m_tiles->setParent(m_readout);
    gauges->addWidget(m_tiles);
    gauges->addStretch(1);
    readout->addLayout(gauges);
    m_status = new StatusTiles(*this);
    m_status->setParent(m_readout);
    readout->addWidget(m_status);
    auto* traceHost = new QWidget(m_readout);
    traceHost->setFixedHeight(36);
    auto* traceStack = new QStackedLayout(traceHost);
    m_waveform = new AnimatedWaveform(m_d.themes, traceHost);
    m_waveform->setChartHeight(36);
    m_trace = new Trace(*this);
    m_trace->setParent(traceHost);
    traceStack->addWidget(m_waveform);
    traceStack->addWidget(m_trace);
    readout->addWidget(traceHost);
    m_learned = new Learned(*this);
    m_learned->setParent(m_readout);
    readout->addWidget(m_learned);
    m_readout->setFixedWidth(contentWidth);
    column->addWidget(m_readout);

    // 4. The mini chat.
    auto* chat = new QVBoxLayout;
    chat->setSpacing(6);
    m_transcript = new Transcript(*this);
    m_transcript->setFixedWidth(contentWidth);
    chat->addWidget(m_transcript);
    m_inputBox = new InputBox(*this);
    m_inputBox->setFixedWidth(contentWidth);
    auto* input = new QHBoxLayout(m_inputBox);
    input->setContentsMargins(9, 9, 9, 9);
    input->setSpacing(6);
    auto* prompt = new SymbolButton(QStringLiteral("terminal"), 10, m_inputBox);
    prompt->setAttribute(Qt::WA_TransparentForMouseEvents);
    prompt->setFocusPolicy(Qt::NoFocus);
    input->addWidget(prompt, 0, Qt::AlignVCenter);
    m_field = new QLineEdit(m_inputBox);
    m_field->setObjectName(QStringLiteral("hudChatField"));
    m_field->setPlaceholderText(QStringLiteral("ask the tavrilon\u2026"));
    m_field->setFrame(false);
    m_field->setFont(mono(11));
    input->addWidget(m_field, 1);
    m_send = new SymbolButton(QStringLiteral("arrow.up.circle.fill"), 16, m_inputBox);
    m_send->setAccessibleName(QStringLiteral("Send"));
    input->addWidget(m_send, 0, Qt::AlignVCenter);
    chat->addWidget(m_inputBox);
    column->addLayout(chat);
    connect(m_field, &QLineEdit::returnPressed, this, &HUDWidgetView::submit);
    connect(m_send, &QAbstractButton::clicked, this, &HUDWidgetView::submit);
    connect(m_field, &QLineEdit::textChanged, this, [this] { m_send->setEnabled(HUDMiniChat::canSend(m_field->text())); });
    connect(qApp, &QApplication::focusChanged, m_inputBox, [box = m_inputBox] { box->update(); });
    connect(m_chat.get(), &HUDMiniChat::transcriptChanged, this, &HUDWidgetView::syncChat);
    m_send->setEnabled(false);

    // 5. The quick actions.
    auto* actions = new QVBoxLayout;
    actions->setSpacing(8);
    m_optimize = new TavrilonHeroButton(m_d.themes, QStringLiteral("Optimize Now"),
                                        QStringLiteral("Free memory + clear safe caches"), QStringLiteral("bolt.fill"), this);
    m_optimize->setFixedWidth(contentWidth);
    connect(m_optimize, &QAbstractButton::clicked, m_optimizer.get(), &QuickOptimizer::optimizeNow);
    connect(m_optimizer.get(), &QuickOptimizer::changed, this, &HUDWidgetView::syncOptimize);
    actions->addWidget(m_optimize);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    auto* dashboard = new TavrilonSecondaryButton(m_d.themes, QStringLiteral("Dashboard"),
                                                  QStringLiteral("square.grid.2x2.fill"), this);
    auto* settingsButton =
        new TavrilonSecondaryButton(m_d.themes, QStringLiteral("Settings"), QStringLiteral("gearshape.fill"), this);
    connect(dashboard, &QAbstractButton::clicked, this, &HUDWidgetView::openDashboard);
    connect(settingsButton, &QAbstractButton::clicked, this, [this] {
        if (m_d.openSettings) m_d.openSettings();
    });
    m_dashboard = dashboard;
    m_settings = settingsButton;
    buttons->addWidget(dashboard);
    buttons->addWidget(settingsButton);
    actions->addLayout(buttons);
    m_outcome = new QLabel(this);
    m_outcome->setFont(mono(9));
    m_outcome->setWordWrap(true);
    m_outcome->setFixedWidth(contentWidth);
    m_outcome->hide();
    actions->addWidget(m_outcome);
    column->addLayout(actions);

    m_scanLines = new ScanLineOverlay(this);
    m_scanLines->setAttribute(Qt::WA_TransparentForMouseEvents);

    connect(&m_d.monitor, &PerformanceMonitor::snapshotChanged, this, &HUDWidgetView::refresh);
    connect(&m_d.monitor, &PerformanceMonitor::healthChanged, this, &HUDWidgetView::refresh);
    connect(&m_d.monitor, &PerformanceMonitor::historiesChanged, this, &HUDWidgetView::refresh);
    connect(&m_d.monitor, &PerformanceMonitor::isMonitoringChanged, this, &HUDWidgetView::refresh);
    connect(&m_d.ai, &AIEngine::changed, this, &HUDWidgetView::refresh);
    connect(&m_d.themes, &ThemeManager::currentChanged, this, [this] {
        m_restyle = true;
        refresh();
    });
    connect(&m_d.settings, &AppSettings::changed, this, &HUDWidgetView::refresh);
    connect(&m_d.epitopes, &EpitopeLibrary::heroDeltaChanged, this, [this] { m_readout->setLive(heroIsLive(), true); });
    m_readout->setLive(heroIsLive(), false);
    refresh();
    syncChat();
    syncOptimize();
}

HUDWidgetView::~HUDWidgetView()
{
    // The focus leaves the field while the children go; nothing here is to be redrawn then.
    disconnect(qApp, nullptr, m_inputBox, nullptr);
}

HUDReadout::Values HUDWidgetView::values() const
{
    const AIInsightsModel::Counts counts = AIInsightsModel::counts(m_d.ai);
    HUDReadout::LearnedInput learned{
        .learningLevel = m_d.ai.learningLevel(),
        .personality = m_d.ai.systemPersonality(),
        .baselines = counts.baselines,
        .leaks = counts.leaks,
        .anomalies = counts.anomalies,
        .insights = m_d.ai.insights(),
    };
    return HUDReadout::compute(m_d.monitor.currentSnapshot(), m_d.monitor.currentHealth(), m_d.monitor.cpuHistory(),
                               m_d.monitor.isMonitoring(), learned, m_d.settings);
}

bool HUDWidgetView::heroIsLive() const { return HUDReadout::heroIsSignificant(m_d.epitopes.heroDelta()); }

double HUDWidgetView::readoutOpacity() const { return m_readout->opacity(); }

void HUDWidgetView::refresh()
{
    // A hidden panel draws nothing: it catches up when it is shown again. The first pass runs
    // all the same, as it sizes the panes the panel's size is worked out from.
    if (!isVisible() && m_shown) {
        m_stale = true;
        return;
    }
    m_stale = false;
    const PaletteTheme& t = m_theme.theme();
    const HUDReadout::Values v = values();
    const bool restyle = m_restyle || !m_shown;
    m_restyle = false;
    m_cpuGauge->setValue(v.cpuPercent / 100.0);
    m_cpuGauge->setLabel(QString::number(v.cpuPercent) + QLatin1Char('%'));
    m_memGauge->setValue(v.memoryPercent / 100.0);
    m_memGauge->setLabel(QString::number(v.memoryPercent) + QLatin1Char('%'));
    auto* stack = static_cast<QStackedLayout*>(m_waveform->parentWidget()->layout());
    if (v.awaitingTelemetry) {
        stack->setCurrentWidget(m_trace);
    } else {
        m_waveform->setSamples(v.trace);
        stack->setCurrentWidget(m_waveform);
    }
    m_status->restyle();
    m_learned->restyle();
    // Setting a colour repaints the button: only a new palette brings one.
    const auto colour = [](SymbolButton* b, const QColor& c) {
        if (b && b->color() != c) b->setColor(c);
    };
    colour(m_close, t.textDim);
    colour(m_send, t.accent);
    colour(m_inputBox->findChild<SymbolButton*>(), t.accentSecondary);
    // Style sheets re-polish their widget: set only when the palette brings new colours.
    const QString field = QStringLiteral("QLineEdit { background: transparent; color: %1; border: none; }")
                              .arg(t.textBright.name(QColor::HexArgb));
    if (m_field->styleSheet() != field) m_field->setStyleSheet(field);
    const QString outcome = QStringLiteral("color: %1; background: transparent;").arg(t.textDim.name(QColor::HexArgb));
    if (m_outcome->styleSheet() != outcome) m_outcome->setStyleSheet(outcome);
    m_scanLines->setLinesEnabled(t.enableScanLines);
    m_scanLines->setColor(t.accentSecondary);

    // Each pane is redrawn when what it shows has changed; the trace's placeholder only with
    // the palette.
    const HUDReadout::Values* was = m_shown ? &*m_shown : nullptr;
    if (restyle || was->monitoring != v.monitoring || was->health != v.health) m_header->update();
    if (restyle || was->cpuPercent != v.cpuPercent || was->memoryPercent != v.memoryPercent || was->health != v.health)
        m_tiles->update();
    if (restyle || was->freeDisk != v.freeDisk || was->temperature != v.temperature ||
        was->thermalCaps != v.thermalCaps || was->thermalSymbol != v.thermalSymbol)
        m_status->update();
    if (restyle) m_trace->update();
    if (restyle || was->learningPercent != v.learningPercent || was->personality != v.personality ||
        was->baselines != v.baselines || was->leaks != v.leaks || was->anomalies != v.anomalies ||
        was->topInsight != v.topInsight || was->topSeverity != v.topSeverity)
        m_learned->update();
    m_shown = v;
}

void HUDWidgetView::showEvent(QShowEvent*)
{
    if (m_stale) refresh();
}

void HUDWidgetView::syncChat()
{
    m_transcript->setFixedHeight(m_transcript->preferredHeight());
    m_transcript->setVisible(!m_chat->transcript().isEmpty());
    m_transcript->update();
}

void HUDWidgetView::syncOptimize()
{
    const bool busy = m_optimizer->optimizing();
    m_optimize->setTitle(busy ? QStringLiteral("Optimizing\u2026") : QStringLiteral("Optimize Now"));
    m_optimize->setSubtitle(busy ? QStringLiteral("Working") : QStringLiteral("Free memory + clear safe caches"));
    m_optimize->setBusy(busy);
    const std::optional<QString>& outcome = m_optimizer->lastOutcome();
    m_outcome->setText(outcome.value_or(QString()));
    m_outcome->setVisible(outcome.has_value());
}

void HUDWidgetView::submit()
{
    if (m_chat->submit(m_field->text())) m_field->clear();
}

QStringList HUDWidgetView::visibleChatLines() const
{
    QStringList out;
    for (const Transcript::Line& l : m_transcript->lines()) out << l.text;
    return out;
}

QString HUDWidgetView::readoutText() const
{
    const HUDReadout::Values v = values();
    QStringList lines{
        v.monitoring,
        QStringLiteral("CPU %1%").arg(v.cpuPercent),
        QStringLiteral("MEM %1%").arg(v.memoryPercent),
        QStringLiteral("HEALTH %1").arg(v.health),
        QStringLiteral("DISK ") + v.freeDisk,
        QStringLiteral("TEMP ") + v.temperature,
        QStringLiteral("THERM ") + v.thermalCaps,
        v.awaitingTelemetry ? QStringLiteral("AWAITING TELEMETRY") : QStringLiteral("CPU trace"),
        QStringLiteral("AI LEARNED-STATE %1%").arg(v.learningPercent),
        v.personality,
        QStringLiteral("%1 %2 %3 %4 %5 %6")
            .arg(v.baselines)
            .arg(AIInsightsModel::baselineWord(v.baselines))
            .arg(v.leaks)
            .arg(AIInsightsModel::leakWord(v.leaks))
            .arg(v.anomalies)
            .arg(AIInsightsModel::anomalyWord(v.anomalies)),
    };
    if (v.topInsight) lines << *v.topInsight;
    return lines.join(QLatin1Char('\n'));
}

bool HUDWidgetView::frontDashboardWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->windowTitle().contains(QStringLiteral("Dashboard")) &&
            !w->objectName().contains(QStringLiteral("detailed-dashboard")))
            continue;
        if (w->isMinimized()) w->showNormal();
        w->show();
        w->raise();
        w->activateWindow();
        return true;
    }
    return false;
}

void HUDWidgetView::openDashboard()
{
    // No dashboard window yet (never opened, or closed): open one, as the popover does.
    if (!frontDashboardWindow() && m_d.openDashboard) m_d.openDashboard();
}

QSize HUDWidgetView::sizeHint() const { return QWidget::sizeHint(); }

const QImage& HUDWidgetView::background()
{
    const PaletteTheme& t = m_theme.theme();
    // The frame depends only on the size and the palette: drawn once, then copied.
    const QString& key = t.id;
    if (key != m_backgroundKey || m_background.devicePixelRatio() != devicePixelRatioF() ||
        m_background.size() != size() * devicePixelRatioF()) {
        m_background = QImage(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
        m_background.setDevicePixelRatio(devicePixelRatioF());
        m_background.fill(Qt::transparent);
        QPainter bp(&m_background);
        paintFrame(bp, t);
        m_backgroundKey = key;
    }
    return m_background;
}

void HUDWidgetView::paintEvent(QPaintEvent* e)
{
    // Only the part to be redrawn is copied (a gauge's frame is a few hundredths of the panel).
    const QImage& frame = background();
    QPainter p(this);
    HUDPanel::copyRegion(p, frame, e->region());
}

void HUDWidgetView::paintFrame(QPainter& p, const PaletteTheme& t)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(area, 16, 16);
    p.setClipPath(shape);
    QLinearGradient base(area.topLeft(), area.bottomRight());
    base.setColorAt(0, withOpacity(t.background, 0.9));
    base.setColorAt(0.5, withOpacity(t.surface, 0.92));
    base.setColorAt(1, withOpacity(t.background, 0.96));
    p.fillPath(shape, base);
    CircuitTexture::paint(p, area, {.color = t.accentSecondary, .opacity = 0.035, .spacing = 26});
    QLinearGradient sheen(area.topLeft(), QPointF(area.left(), area.center().y()));
    sheen.setColorAt(0, withOpacity(Qt::white, 0.06));
    sheen.setColorAt(1, Qt::transparent);
    p.fillPath(shape, sheen);
    QRadialGradient vignette(area.center(), 260, area.center());
    vignette.setColorAt(0, Qt::transparent);
    vignette.setColorAt(120.0 / 260.0, Qt::transparent);
    vignette.setColorAt(1, withOpacity(t.background, 0.55));
    p.fillPath(shape, vignette);
    p.setClipping(false);
    QLinearGradient border(area.topLeft(), area.bottomRight());
    border.setColorAt(0, withOpacity(t.accentSecondary, 0.6));
    border.setColorAt(1, withOpacity(t.accent, 0.4));
    p.setPen(QPen(QBrush(border), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    CornerBracketFrame::paint(p, area, {.color = withOpacity(t.mono, 0.85),
                                        .cornerRadius = 16,
                                        .bracketLength = 18,
                                        .lineWidth = 1.6,
                                        .inset = 3,
                                        .hairline = std::nullopt,
                                        .glow = t.accentGlow,
                                        .enableGlow = t.enableNeonGlow});
}

void HUDWidgetView::resizeEvent(QResizeEvent*)
{
    m_scanLines->setGeometry(rect());
    m_scanLines->raise();
}
