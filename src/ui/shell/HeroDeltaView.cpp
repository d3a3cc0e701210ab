#include "ui/shell/HeroDeltaView.h"

#include "actions/EpitopeLibrary.h"
#include "actions/ReversibleShell.h"
#include "core/AppSettings.h"
#include "ui/shell/HUDReadout.h"
#include "ui/theme/Blit.h"
#include "ui/theme/FrameTicker.h"
#include "ui/theme/Shadow.h"
#include "ui/theme/SymbolIcon.h"
#include "ui/theme/ThemeManager.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include <array>
#include <cmath>
#include <functional>
#include <numbers>

namespace {

constexpr int minHeight = 88;
constexpr int verticalPadding = 10;

QFont monoSystemFont(qreal size, QFont::Weight weight, qreal tracking = 0)
{
    QFont f = systemFont(size, weight);
    f.setFamilies({QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
    f.setStyleHint(QFont::Monospace);
    if (tracking != 0) f.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return f;
}

// Draws `draw` (in the widget's coordinates) into an image covering `area`, at the device's
// pixel ratio, so that copying it back at its corner gives the same pixels as drawing there.
QImage renderLayer(const QRect& area, qreal dpr, const std::function<void(QPainter&)>& draw, QPoint& at)
{
    at = area.topLeft();
    QImage image(area.size() * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    QPainter q(&image);
    q.setRenderHint(QPainter::Antialiasing);
    q.setRenderHint(QPainter::TextAntialiasing);
    q.translate(-area.topLeft());
    draw(q);
    return image;
}

double easeOut(double t) { return 1 - (1 - t) * (1 - t); }
double easeInOut(double t) { return t < 0.5 ? 2 * t * t : 1 - std::pow(-2 * t + 2, 2) / 2; }
// A repeat-forever, reversing ease-in-out of `period` seconds per direction: 0 → 1 → 0.
double pingPong(double clock, double period)
{
    const double phase = std::fmod(clock / period, 2.0);
    return easeInOut(phase <= 1 ? phase : 2 - phase);
}

}  // namespace

class HeroDeltaView::RevertButton : public QAbstractButton {
public:
    explicit RevertButton(HeroDeltaView& card) : QAbstractButton(&card), m_card(card)
    {
        setText(QStringLiteral("Revert"));
        setToolTip(QStringLiteral("Undo the last measured change"));
        setCursor(Qt::PointingHandCursor);
        const QFontMetricsF fm(font());
        resize(sizeHint());
    }
    QFont font() const { return monoSystemFont(9, QFont::DemiBold); }
    QSize sizeHint() const override
    {
        const QFontMetricsF fm(font());
        return {int(std::ceil(fm.horizontalAdvance(text()) + 12 + 4 + 16)), int(std::ceil(fm.height() + 6))};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const PaletteTheme& t = m_card.m_theme.theme();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        p.fillPath(shape, QColor(0, 0, 0, 140));
        p.setPen(QPen(withOpacity(t.danger, 0.9), 1));
        p.drawPath(shape);
        SymbolIcon::paint(p, QRectF(8, (height() - 10) / 2.0, 10, 10), QStringLiteral("arrow.uturn.backward"), t.textBright);
        p.setFont(font());
        p.setPen(t.textBright);
        p.drawText(QRectF(22, 0, width() - 22 - 8, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
    }

private:
    HeroDeltaView& m_card;
};

class HeroDeltaView::PullTab : public QAbstractButton {
public:
    explicit PullTab(HeroDeltaView& card) : QAbstractButton(&card), m_card(card)
    {
        setToolTip(QStringLiteral("Show what the Tavrilon has learned"));
        setCursor(Qt::PointingHandCursor);
        resize(17, 17);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        SymbolIcon::paint(p, QRectF(4, 4, 9, 9), QStringLiteral("list.bullet.rectangle"),
                          withOpacity(m_card.m_theme.theme().textDim, 0.5));
    }

private:
    HeroDeltaView& m_card;
};

// The popover's content: every learned action kind with its state and success rate.
class HeroDeltaView::TrackRecord : public QWidget {
public:
    TrackRecord(HeroDeltaView& card)
        : QWidget(&card, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint), m_card(card)
    {
        setObjectName(QStringLiteral("HeroTrackRecord"));
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_DeleteOnClose);
        const int rows = int(m_card.m_d.library.sortedEpitopes().size());
        const int content = 12 + 8 + (rows == 0 ? 14 : rows * 14 + (rows - 1) * 8);
        setFixedSize(260, std::max(72, content + 28));
    }

    QStringList lines() const
    {
        QStringList out{QStringLiteral("MEASURED TRACK RECORD")};
        const QList<TrackRow> rows = trackRows(m_card.m_d.library.sortedEpitopes(), m_card.m_theme.theme());
        if (rows.isEmpty()) out << QStringLiteral("learning\u2026 no measured outcomes yet");
        for (const TrackRow& r : rows) out << r.name + QLatin1Char(' ') + r.status;
        return out;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const PaletteTheme& t = m_card.m_theme.theme();
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
        p.fillPath(shape, t.background);
        p.setPen(QPen(withOpacity(t.mono, 0.18), 0.75));
        p.drawPath(shape);
        const double x = 14, w = width() - 28;
        double y = 14;
        p.setFont(monoSystemFont(9, QFont::Bold, 1.5));
        p.setPen(t.textDim);
        p.drawText(QRectF(x, y, w, 12), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("MEASURED TRACK RECORD"));
        y += 12 + 8;
        const QList<TrackRow> rows = trackRows(m_card.m_d.library.sortedEpitopes(), t);
        if (rows.isEmpty()) {
            p.setFont(monoSystemFont(10, QFont::Normal));
            p.drawText(QRectF(x, y, w, 14), Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("learning\u2026 no measured outcomes yet"));
            return;
        }
        for (const TrackRow& r : rows) {
            p.setPen(Qt::NoPen);
            p.setBrush(r.color);
            p.drawEllipse(QRectF(x, y + 4, 6, 6));
            QFont status = monoSystemFont(10, QFont::Bold);
            const double statusWidth = QFontMetricsF(status).horizontalAdvance(r.status);
            p.setFont(monoSystemFont(10, QFont::Normal));
            p.setPen(t.text);
            const QRectF nameBox(x + 14, y, w - 14 - statusWidth - 12, 14);
            p.drawText(nameBox, Qt::AlignLeft | Qt::AlignVCenter,
                       QFontMetricsF(p.font()).elidedText(r.name, Qt::ElideRight, nameBox.width()));
            p.setFont(status);
            p.setPen(r.color);
            p.drawText(QRectF(x, y, w, 14), Qt::AlignRight | Qt::AlignVCenter, r.status);
            y += 14 + 8;
        }
    }

private:
    HeroDeltaView& m_card;
};

HeroDeltaView::HeroDeltaView(HeroDeltaDeps deps, QWidget* parent)
    : QWidget(parent), m_d(deps), m_theme(this, m_d.themes)
{
    setObjectName(QStringLiteral("HeroDeltaView"));
    setMinimumHeight(minHeight + 2 * verticalPadding);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_transitions = new FrameTicker(this, 16, [this](double dt) { return tick(dt); });
    m_breathing = new FrameTicker(this, breathFrameMs, [this](double dt) { return breathe(dt); });
    m_breathing->keepExactRate();
    m_revert = new RevertButton(*this);
    m_revert->hide();
    connect(m_revert, &QAbstractButton::clicked, this, &HeroDeltaView::revert);
    m_pullTab = new PullTab(*this);
    connect(m_pullTab, &QAbstractButton::clicked, this, &HeroDeltaView::toggleTrackRecord);
    connect(&m_d.library, &EpitopeLibrary::heroDeltaChanged, this, &HeroDeltaView::heroChanged);
    connect(&m_d.library, &EpitopeLibrary::epitopesChanged, this, [this] {
        if (m_popover) m_popover->update();
    });
    connect(&m_d.shell, &ReversibleShell::pendingRevertChanged, this, &HeroDeltaView::syncRevert);
    connect(&m_d.themes, &ThemeManager::currentChanged, this, [this] {
        m_glowKey.clear();
        m_layerKey = {};
        m_breathing->request();
    });
    m_identity = identity(hero());
    m_appear = 1;
    m_transitions->request();
    m_breathing->request();
}

HeroDeltaView::State HeroDeltaView::state(const std::optional<MeasuredOutcome>& hero)
{
    if (!hero) return State::dormant;
    return HUDReadout::heroIsSignificant(hero) ? State::gold : State::greyFloor;
}

QString HeroDeltaView::identity(const std::optional<MeasuredOutcome>& hero)
{
    switch (state(hero)) {
    case State::gold: return QStringLiteral("gold-") + hero->deltaText();
    case State::greyFloor: return QStringLiteral("grey-floor");
    case State::dormant: break;
    }
    return QStringLiteral("dormant");
}

QString HeroDeltaView::floorTitle(State s)
{
    switch (s) {
    case State::greyFloor: return QStringLiteral("\u2014");
    case State::dormant: return QStringLiteral("AWAITING FIRST");
    case State::gold: break;
    }
    return {};
}

QString HeroDeltaView::floorCaption(State s)
{
    switch (s) {
    case State::greyFloor: return QStringLiteral("NO MEASURED IMPROVEMENT");
    case State::dormant: return QStringLiteral("MEASURED OUTCOME");
    case State::gold: break;
    }
    return {};
}

QString HeroDeltaView::statusWord(const Epitope& e)
{
    if (e.state == EpitopeState::retired) return QStringLiteral("retired");
    if (e.outcomes.size() < 3) return QStringLiteral("learning\u2026");
    const double rate = std::isfinite(e.successRate) ? std::clamp(e.successRate, 0.0, 1.0) : 0.0;
    return QString::number(int(std::trunc(rate * 100.0))) + QLatin1Char('%');
}

QColor HeroDeltaView::stateColor(EpitopeState s, const PaletteTheme& t)
{
    switch (s) {
    case EpitopeState::learning: return t.mono;
    case EpitopeState::reinforced: return t.success;
    case EpitopeState::decaying: return t.warning;
    case EpitopeState::retired: break;
    }
    return nullGrey();
}

QList<HeroDeltaView::TrackRow> HeroDeltaView::trackRows(const QList<Epitope>& sorted, const PaletteTheme& palette)
{
    QList<TrackRow> rows;
    for (const Epitope& e : sorted) rows << TrackRow{e.displayName, statusWord(e), stateColor(e.state, palette)};
    return rows;
}

HeroDeltaView::State HeroDeltaView::currentState() const { return state(hero()); }

std::optional<MeasuredOutcome> HeroDeltaView::hero() const { return m_pinned ? *m_pinned : m_d.library.heroDelta(); }

void HeroDeltaView::pinOutcome(std::optional<MeasuredOutcome> outcome)
{
    m_pinned = std::move(outcome);
    heroChanged();
}

QSize HeroDeltaView::sizeHint() const { return {308, minHeight + 2 * verticalPadding}; }

void HeroDeltaView::heroChanged()
{
    const QString next = identity(hero());
    const bool wasGold = m_identity.startsWith(QStringLiteral("gold-"));
    if (next != m_identity) {
        // A new gold number sweeps its sheen once; the first gold number does not.
        if (wasGold && currentState() == State::gold) {
            m_sheenX = -1;
            m_sheenRunning = true;
        }
        m_identity = next;
        m_appear = 0;
        m_transitions->request();
        m_breathing->request();
    }
    syncRevert();
    update();
}

void HeroDeltaView::syncRevert()
{
    const bool show = m_hovering && m_d.shell.hasPendingRevert();
    if (show == m_revert->isVisible()) return;
    m_revert->setVisible(show);
    if (show) m_revert->raise();
}

void HeroDeltaView::revert()
{
    if (!m_d.shell.hasPendingRevert()) return;
    m_d.shell.revertPending();
    m_d.library.clearHeroDelta();
    syncRevert();
}

void HeroDeltaView::toggleTrackRecord()
{
    if (m_popover) {
        m_popover->close();
        return;
    }
    auto* popover = new TrackRecord(*this);
    // Above the card, its bottom edge at the card's top, as far right as the card allows.
    const QPoint topLeft = mapToGlobal(QPoint(width() - popover->width(), -popover->height() - 4));
    popover->move(topLeft);
    popover->show();
    m_popover = popover;
}

void HeroDeltaView::enterEvent(QEnterEvent*)
{
    m_hovering = true;
    syncRevert();
}

void HeroDeltaView::leaveEvent(QEvent*)
{
    m_hovering = false;
    syncRevert();
}

void HeroDeltaView::resizeEvent(QResizeEvent*)
{
    m_revert->move(width() - m_revert->width() - 6, 6);
    m_pullTab->move(width() - m_pullTab->width(), height() - m_pullTab->height());
}

bool HeroDeltaView::tick(double dt)
{
    bool more = false;
    if (m_appear < 1) {
        m_appear = std::min(1.0, m_appear + dt / 0.35);
        more = true;
    }
    const State s = currentState();
    if (s != State::gold && !m_floorShown) m_floorShown = true;
    if (m_floorShown && m_dormantIn < 1) {
        m_dormantIn = std::min(1.0, m_dormantIn + dt / 0.5);
        if (m_dormantIn >= 1) m_dormantBreath = true;
        more = true;
    }
    if (m_sheenRunning) {
        m_sheenX = std::min(1.0, m_sheenX + dt * 2 / 0.7);
        if (m_sheenX >= 1) m_sheenRunning = false;
        more = true;
    }
    update();
    return more;
}

bool HeroDeltaView::breathe(double dt)
{
    // The slow repeat-forever phases, redrawn at a low rate: both swell over seconds.
    const State s = currentState();
    const bool glowing = s == State::gold && m_theme.theme().enableNeonGlow;
    if (glowing) m_breathe = true;
    if (!glowing && s == State::gold) return false;
    m_breathClock += dt;
    // The phases as drawn, in steps of 1/50 of full opacity (about one grey level of the dim
    // floor texts): near the turns of a swell a frame would change nothing, and is skipped.
    const double glow = m_breathe ? pingPong(m_breathClock, 3.2) : 0;
    const double floor = m_dormantBreath ? pingPong(m_breathClock, 2.4) : 0;
    const double caption = m_dormantIn >= 1 ? pingPong(m_breathClock, 1.8) : 0;
    const std::array<int, 3> shown{int(std::lround(glow * 0.42 * 50)), int(std::lround(floor * 0.28 * 50)),
                                   int(std::lround(caption * 0.35 * 50))};
    if (shown == m_breathShown) return true;
    m_breathShown = shown;
    // Only the breathing part changes; the rest of the card (and the panel under it) stays.
    // Drawn at once, inside this wake-up, rather than posted for a later turn of the loop.
    if (m_breathArea.isValid()) repaint(m_breathArea);
    else repaint();
    return true;
}

void HeroDeltaView::setBackdrop(Backdrop draw)
{
    m_backdrop = std::move(draw);
    setAttribute(Qt::WA_OpaquePaintEvent, bool(m_backdrop));
    update();
}

void HeroDeltaView::paintEvent(QPaintEvent* event)
{
    const PaletteTheme& t = m_theme.theme();
    const std::optional<MeasuredOutcome> hero = this->hero();
    QPainter p(this);
    if (m_backdrop) m_backdrop(p, event->rect());
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF area = QRectF(rect()).adjusted(0, verticalPadding, 0, -verticalPadding);
    // The entering content scales up from 0.97 about the centre while it fades in.
    const double a = easeInOut(m_appear);
    p.setOpacity(a);
    const double scale = 0.97 + 0.03 * a;
    p.translate(area.center());
    p.scale(scale, scale);
    p.translate(-area.center());
    const State s = state(hero);
    m_breathArea = QRect();
    if (s == State::gold)
        paintGold(p, area, *hero, t);
    else
        paintFloor(p, area, s);
}

void HeroDeltaView::paintGold(QPainter& p, const QRectF& area, const MeasuredOutcome& hero, const PaletteTheme& t)
{
    const QString text = hero.deltaText();
    QFont big = monoSystemFont(46, QFont::ExtraBold, -0.5);
    QFontMetricsF fm(big);
    // One line; shrunk down to 0.6 of its size when it does not fit.
    const double fit = std::clamp((area.width() - 12) / std::max(1.0, fm.horizontalAdvance(text)), 0.6, 1.0);
    if (fit < 1) {
        big.setPointSizeF(big.pointSizeF() * fit);
        fm = QFontMetricsF(big);
    }
    QFont detail = monoSystemFont(9.5, QFont::DemiBold, 0.5);
    const QFontMetricsF dm(detail);
    const double numberHeight = fm.height();
    const double total = numberHeight + 8 + dm.height();
    const QRectF numberBox(area.left(), area.center().y() - total / 2, area.width(), numberHeight);
    const QRectF detailBox(area.left(), numberBox.bottom() + 8, area.width(), dm.height());

    const auto drawNumber = [&](QPainter& q, const QBrush& brush) {
        QPainterPath path;
        const double w = fm.horizontalAdvance(text);
        path.addText(QPointF(numberBox.center().x() - w / 2, numberBox.top() + fm.ascent()), big, text);
        q.fillPath(path, brush);
    };

    // The glow under the number: blurred once per text, size and palette.
    const QString key = text + QLatin1Char('|') + QString::number(width()) + QLatin1Char('|') + t.id;
    if (t.enableNeonGlow && key != m_glowKey) {
        const QImage shape = Shadow::layer(p, numberBox, 24, [&](QPainter& q) { drawNumber(q, Qt::white); });
        m_glowCache = Shadow::tintedBlur(shape, t.accent, 9 * shape.devicePixelRatio());
        m_glowKey = key;
    }
    const QPointF glowAt = numberBox.topLeft() - QPointF(24, 24);
    if (t.enableNeonGlow) {
        // The breathing shadow: 0.14 at radius 8 resting, up to 0.28 at radius 12.
        const double b = m_breathe ? pingPong(m_breathClock, 3.2) : 0;
        p.save();
        p.setOpacity(p.opacity() * (0.42 + 0.42 * b));
        Blit::draw(p, glowAt, m_glowCache);
        p.restore();
    } else {
        // Blurred once per text, size and palette, not on every repaint (a hover, a transition).
        p.save();
        p.setOpacity(p.opacity() * 0.14);
        m_restingShadow.draw(p, numberBox, t.accent, 8, QPointF(0, 0), qHash(text),
                             [&](QPainter& q) { drawNumber(q, Qt::white); });
        p.restore();
    }
    // Black shadow, then the gold gradient fill, then the sheen inside the digits.
    const auto drawDigits = [&](QPainter& q) {
        q.save();
        q.translate(0, 1);
        drawNumber(q, QColor(0, 0, 0, 153));
        q.restore();
        QLinearGradient gold(numberBox.topLeft(), numberBox.bottomLeft());
        gold.setColorAt(0, QColor(0xFF, 0xE3, 0x8A));
        gold.setColorAt(0.35, t.accent);
        gold.setColorAt(1.0, QColor(0xE0, 0xA8, 0x28));
        drawNumber(q, gold);
    };
    const bool steady = m_appear >= 1;
    if (steady) {
        const LayerKey layerKey{QStringLiteral("gold|") + key, size(), devicePixelRatioF()};
        if (!(layerKey == m_layerKey)) {
            m_number.image = renderLayer(numberBox.adjusted(-2, -2, 2, 3).toAlignedRect(), devicePixelRatioF(),
                                         drawDigits, m_number.at);
            m_layerKey = layerKey;
        }
        Blit::draw(p, m_number.at, m_number.image);
        if (t.enableNeonGlow && m_breathe)
            m_breathArea = QRectF(glowAt, QSizeF(m_glowCache.size()) / m_glowCache.devicePixelRatio())
                               .toAlignedRect()
                               .intersected(rect());
    } else {
        drawDigits(p);
    }
    if (m_sheenRunning) {
        const double cx = numberBox.center().x() + m_sheenX * 160;
        QLinearGradient sheen(QPointF(cx - 30, 0), QPointF(cx + 30, 0));
        sheen.setColorAt(0, Qt::transparent);
        sheen.setColorAt(0.5, QColor(255, 255, 255, 115));
        sheen.setColorAt(1, Qt::transparent);
        p.save();
        p.setCompositionMode(QPainter::CompositionMode_Plus);
        drawNumber(p, sheen);
        p.restore();
    }

    // Before, after and the improvement, with a soft underline.
    p.setFont(detail);
    p.setPen(withOpacity(t.mono, 0.85));
    const QString line = hero.beforeAfterText(m_d.settings);
    p.drawText(detailBox, Qt::AlignCenter, dm.elidedText(line, Qt::ElideRight, detailBox.width()));
    const double lw = std::min(detailBox.width(), dm.horizontalAdvance(line));
    const QRectF underline(detailBox.center().x() - lw / 2, detailBox.bottom() + 5 - 0.75, lw, 0.75);
    QLinearGradient under(underline.topLeft(), underline.topRight());
    under.setColorAt(0, Qt::transparent);
    under.setColorAt(0.33, withOpacity(t.mono, 0.4));
    under.setColorAt(0.67, withOpacity(t.mono, 0.4));
    under.setColorAt(1, Qt::transparent);
    p.fillRect(underline, under);
}

void HeroDeltaView::paintFloor(QPainter& p, const QRectF& area, State s)
{
    const double in = easeOut(m_dormantIn);
    const double breath = m_dormantBreath ? pingPong(m_breathClock, 2.4) : 0;
    // Faded out and 4 lower until it has risen in; then it breathes between 0.72 and 1.
    const double opacity = in * (0.72 + 0.28 * breath);
    const double drop = 4 * (1 - in);
    // The caption pulses between 0.45 and 0.8 once the floor is in.
    const double pulse = m_dormantIn >= 1 ? 0.45 + 0.35 * pingPong(m_breathClock, 1.8) : 0.45;
    // Risen in and fully appeared: from here on only the two opacities change, and a frame
    // copies the two texts drawn before.
    const bool steady = m_dormantIn >= 1 && m_appear >= 1;
    const LayerKey layerKey{floorTitle(s), size(), devicePixelRatioF()};
    if (steady && layerKey == m_layerKey) {
        p.save();
        p.setOpacity(p.opacity() * opacity);
        Blit::draw(p, m_floorTitle.at, m_floorTitle.image);
        p.setOpacity(p.opacity() * pulse);
        Blit::draw(p, m_floorCaption.at, m_floorCaption.image);
        p.restore();
        m_breathArea = m_layerArea;
        return;
    }
    const bool grey = s == State::greyFloor;
    const QFont title = monoSystemFont(grey ? 44 : 15, QFont::Bold, grey ? 0 : 2);
    const QFont caption = monoSystemFont(9, QFont::Medium, 1.5);
    const QFontMetricsF tm(title), cm(caption);
    const double total = tm.height() + 4 + cm.height();
    const double top = area.center().y() - total / 2 + drop;
    const QRectF titleBox(area.left(), top, area.width(), tm.height());
    const QRectF captionBox(area.left(), top + tm.height() + 4, area.width(), cm.height());
    const auto drawTitle = [&](QPainter& q) {
        q.setFont(title);
        q.setPen(nullGrey());
        q.drawText(titleBox, Qt::AlignCenter, floorTitle(s));
    };
    const auto drawCaption = [&](QPainter& q) {
        q.setFont(caption);
        q.setPen(withOpacity(nullGrey(), 0.8));
        q.drawText(captionBox, Qt::AlignCenter, floorCaption(s));
    };
    p.save();
    p.setOpacity(p.opacity() * opacity);
    if (steady) {
        m_floorTitle.image = renderLayer(titleBox.toAlignedRect(), devicePixelRatioF(), drawTitle, m_floorTitle.at);
        m_floorCaption.image = renderLayer(captionBox.toAlignedRect(), devicePixelRatioF(), drawCaption, m_floorCaption.at);
        m_layerKey = layerKey;
        m_layerArea = titleBox.united(captionBox).toAlignedRect().intersected(rect());
        Blit::draw(p, m_floorTitle.at, m_floorTitle.image);
        p.setOpacity(p.opacity() * pulse);
        Blit::draw(p, m_floorCaption.at, m_floorCaption.image);
        m_breathArea = m_layerArea;
    } else {
        drawTitle(p);
        p.setOpacity(p.opacity() * pulse);
        drawCaption(p);
    }
    p.restore();
}
