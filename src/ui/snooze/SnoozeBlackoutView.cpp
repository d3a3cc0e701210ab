#include "ui/snooze/SnoozeBlackoutView.h"

#include "ui/snooze/SnoozeViewStyle.h"
#include "ui/theme/FrameTicker.h"
#include "ui/theme/SymbolIcon.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPointer>

#include <cmath>

using SnoozeViewStyle::Design;
using SnoozeViewStyle::white;

namespace {

constexpr qreal spacing = 24;
constexpr qreal inset = 60;
constexpr qreal symbolSize = 96;
constexpr qreal textWidth = 720;
constexpr double pulseSeconds = 1.6;
constexpr qreal spinnerSize = 32;

const QString bodyText = QStringLiteral(
    "You're going to make mistakes. This is not smart.\nI'll save your work and back everything up.\nI'll be here when "
    "you get back.");
const QString promptText =
    QStringLiteral("If there's a real emergency, type WHY below.\nThe AI will decide if it can wait.");
const QString awaitingText = QStringLiteral("Asking the AI to weigh in…");
const QString heldText = QStringLiteral("The AI held the line. Sleep now.");

QFont headlineFont() { return SnoozeViewStyle::font(72, QFont::Black, Design::rounded); }
QFont bodyFont() { return SnoozeViewStyle::font(22, QFont::DemiBold, Design::rounded); }
QFont promptFont() { return SnoozeViewStyle::font(18, QFont::Medium); }
QFont footnoteFont() { return SnoozeViewStyle::font(13, QFont::Normal, Design::monospaced); }
QFont verdictHeadlineFont() { return SnoozeViewStyle::font(26, QFont::Bold, Design::rounded); }
QFont verdictDetailFont() { return SnoozeViewStyle::font(16, QFont::Medium); }
QFont heldFont() { return SnoozeViewStyle::font(17, QFont::DemiBold); }

QSizeF wrapped(const QFont& font, const QString& text, qreal width)
{
    return QFontMetricsF(font).boundingRect(QRectF(0, 0, width, 10000), Qt::TextWordWrap | Qt::AlignHCenter, text).size();
}

}  // namespace

// Where each piece of the blackout goes for the view's present size and state.
struct SnoozeBlackoutView::Layout {
    QRectF symbol, headline, body, divider, footnote;
    // explanation panel
    QRectF prompt, editor, ask;
    // waiting
    QRectF spinner, awaitingLabel;
    // verdict card
    QRectF card, verdictHeadline, verdictDetail, accept, held;
};

SnoozeBlackoutView::SnoozeBlackoutView(const QString& reason, RequestCompromise requestCompromise,
                                       AcceptCompromise acceptCompromise, const QString& addressee, QWidget* parent)
    : QWidget(parent),
      m_reason(reason),
      m_headline(headlineText(addressee)),
      m_requestCompromise(std::move(requestCompromise)),
      m_acceptCompromise(std::move(acceptCompromise))
{
    setObjectName(QStringLiteral("SnoozeBlackoutView"));
    setAttribute(Qt::WA_OpaquePaintEvent);

    m_editor = new QPlainTextEdit(this);
    m_editor->setObjectName(QStringLiteral("explanationEditor"));
    m_editor->setFont(SnoozeViewStyle::font(18, QFont::Normal));
    m_editor->setFrameShape(QFrame::NoFrame);
    m_editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_editor->setStyleSheet(QStringLiteral("QPlainTextEdit { background: rgba(255, 255, 255, 20); color: white; "
                                           "border: none; border-radius: 10px; padding: 6px; "
                                           "selection-background-color: rgba(255, 255, 255, 70); }"));

    m_askButton = new SnoozePillButton(QStringLiteral("Ask the AI"), white(0.18), Qt::white, this);
    m_askButton->setObjectName(QStringLiteral("askButton"));
    m_askButton->setEnabled(false);
    connect(m_editor, &QPlainTextEdit::textChanged, this,
            [this] { m_askButton->setEnabled(!m_editor->toPlainText().trimmed().isEmpty()); });
    connect(m_askButton, &QPushButton::clicked, this, &SnoozeBlackoutView::ask);

    m_ticker = new FrameTicker(this, 33, [this](double dt) {
        m_phase = std::fmod(m_phase + dt, 2 * pulseSeconds);
        if (m_awaiting) m_spinner += dt;
        // Only the pulsing bed and the turning ring move between frames.
        const Layout l = layout();
        update(l.symbol.toAlignedRect().adjusted(-1, -1, 1, 1));
        if (m_awaiting) update(l.spinner.toAlignedRect().adjusted(-2, -2, 2, 2));
        return true;
    });
    placeChildren();
}

QString SnoozeBlackoutView::headlineText(const QString& addressee)
{
    if (addressee.trimmed().isEmpty()) return QStringLiteral("You're done.");
    return addressee.trimmed() + QStringLiteral(", you're done.");
}

QString SnoozeBlackoutView::footnoteText()
{
    return QStringLiteral("Emergency-only: triple-press  ") + SnoozeViewStyle::shortcutLabel +
           QStringLiteral("  within 4s to override");
}

SnoozeBlackoutView::Panel SnoozeBlackoutView::panel() const
{
    if (m_verdict) return Panel::verdict;
    if (m_awaiting) return Panel::awaiting;
    return Panel::explanation;
}

SnoozeBlackoutView::Layout SnoozeBlackoutView::layout() const
{
    Layout l;
    const qreal available = qMax<qreal>(1, width() - 2 * inset);
    const qreal column = qMin(textWidth, available);
    const qreal centreX = width() / 2.0;
    auto centred = [centreX](qreal w, qreal y, qreal h) { return QRectF(centreX - w / 2, y, w, h); };

    const QSizeF headline = wrapped(headlineFont(), m_headline, available);
    const QSizeF body = wrapped(bodyFont(), bodyText, column);
    const qreal footnoteHeight = QFontMetricsF(footnoteFont()).height();

    // The panel's own height first, so the whole stack can be centred.
    qreal panelHeight = 0;
    QSizeF prompt, verdictHeadline, verdictDetail, held;
    QSize accept;
    const Panel shown = panel();
    if (shown == Panel::explanation) {
        prompt = wrapped(promptFont(), promptText, available);
        panelHeight = prompt.height() + 12 + 110 + 12 + m_askButton->sizeHint().height();
    } else if (shown == Panel::awaiting) {
        panelHeight = spinnerSize + 8 + QFontMetricsF(promptFont()).height();
    } else {
        const qreal inner = qMax<qreal>(1, available - 40);
        verdictHeadline = wrapped(verdictHeadlineFont(), m_verdict->headline, inner);
        verdictDetail = wrapped(verdictDetailFont(), m_verdict->detail, qMin(textWidth, inner));
        qreal last = 0;
        if (m_acceptButton) {
            accept = m_acceptButton->sizeHint();
            last = accept.height();
        } else {
            held = wrapped(heldFont(), heldText, inner);
            last = held.height();
        }
        panelHeight = 20 + verdictHeadline.height() + 14 + verdictDetail.height() + 14 + last + 20;
    }

    const qreal total = symbolSize + spacing + headline.height() + spacing + body.height() + spacing + 13 + spacing +
                        panelHeight + spacing + 20 + footnoteHeight;
    qreal y = qMax(inset, (height() - total) / 2);

    l.symbol = centred(symbolSize, y, symbolSize);
    y += symbolSize + spacing;
    l.headline = centred(available, y, headline.height());
    y += headline.height() + spacing;
    l.body = centred(column, y, body.height());
    y += body.height() + spacing;
    l.divider = centred(column, y + 6, 1);
    y += 13 + spacing;

    if (shown == Panel::explanation) {
        l.prompt = centred(available, y, prompt.height());
        l.editor = centred(qMin(textWidth, available), l.prompt.bottom() + 12, 110);
        const QSize ask = m_askButton->sizeHint();
        l.ask = centred(ask.width(), l.editor.bottom() + 12, ask.height());
    } else if (shown == Panel::awaiting) {
        l.spinner = centred(spinnerSize, y, spinnerSize);
        l.awaitingLabel = centred(available, l.spinner.bottom() + 8, QFontMetricsF(promptFont()).height());
    } else {
        qreal contentWidth = qMax(verdictHeadline.width(), verdictDetail.width());
        contentWidth = qMax(contentWidth, m_acceptButton ? qreal(accept.width()) : held.width());
        l.card = centred(qMin(available, contentWidth + 40), y, panelHeight);
        const qreal inner = l.card.width() - 40;
        qreal cy = y + 20;
        l.verdictHeadline = centred(inner, cy, verdictHeadline.height());
        cy += verdictHeadline.height() + 14;
        l.verdictDetail = centred(inner, cy, verdictDetail.height());
        cy += verdictDetail.height() + 14;
        if (m_acceptButton) l.accept = centred(accept.width(), cy, accept.height());
        else l.held = centred(inner, cy, held.height());
    }
    y += panelHeight + spacing + 20;
    l.footnote = centred(available, y, footnoteHeight);
    return l;
}

void SnoozeBlackoutView::placeChildren()
{
    const Layout l = layout();
    const Panel shown = panel();
    m_editor->setVisible(shown == Panel::explanation);
    m_askButton->setVisible(shown == Panel::explanation);
    if (shown == Panel::explanation) {
        m_editor->setGeometry(l.editor.toRect());
        m_askButton->setGeometry(l.ask.toRect());
    }
    if (m_acceptButton) m_acceptButton->setGeometry(l.accept.toRect());
}

void SnoozeBlackoutView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeChildren();
}

void SnoozeBlackoutView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_ticker->request();
}

void SnoozeBlackoutView::ask()
{
    // One question per blackout.
    if (m_awaiting || m_verdict || m_editor->toPlainText().trimmed().isEmpty()) return;
    m_awaiting = true;
    const bool hadFocus = m_editor->hasFocus();
    placeChildren();
    if (hadFocus) setFocus();
    update();
    QPointer<SnoozeBlackoutView> self(this);
    m_requestCompromise(m_editor->toPlainText(), [self](const BlackoutVerdict& verdict) {
        // The answer may come on any thread; the view changes on the main one.
        QMetaObject::invokeMethod(
            qApp, [self, verdict] { if (self) self->receive(verdict); }, Qt::QueuedConnection);
    });
}

void SnoozeBlackoutView::receive(const BlackoutVerdict& verdict)
{
    if (m_verdict) return;
    m_awaiting = false;
    m_verdict = verdict;
    if (verdict.grantedExtensionMinutes >= 1) {
        m_acceptButton = new SnoozePillButton(QStringLiteral("Accept the compromise — ") +
                                                  QString::number(qint64(verdict.grantedExtensionMinutes)) +
                                                  QStringLiteral(" min"),
                                              Qt::white, Qt::black, this);
        m_acceptButton->setObjectName(QStringLiteral("acceptButton"));
        const int minutes = verdict.grantedExtensionMinutes;
        connect(m_acceptButton, &QPushButton::clicked, this, [this, minutes] {
            if (m_acceptCompromise) m_acceptCompromise(minutes);
        });
        m_acceptButton->show();
    }
    placeChildren();
    update();
}

void SnoozeBlackoutView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(rect(), Qt::black);
    const Layout l = layout();

    p.save();
    p.setOpacity(0.8 + 0.2 * std::cos(M_PI * m_phase / pulseSeconds));
    SymbolIcon::paint(p, l.symbol, QStringLiteral("bed.double.fill"), Qt::white);
    p.restore();

    p.setPen(Qt::white);
    p.setFont(headlineFont());
    p.drawText(l.headline, Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop, m_headline);
    p.setPen(white(0.88));
    p.setFont(bodyFont());
    p.drawText(l.body, Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop, bodyText);
    p.fillRect(l.divider, white(0.2));

    switch (panel()) {
    case Panel::explanation:
        p.setPen(white(0.75));
        p.setFont(promptFont());
        p.drawText(l.prompt, Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop, promptText);
        break;
    case Panel::awaiting: {
        // An indeterminate ring: a bright arc turning once a second over a faint track.
        const QRectF ring = l.spinner.adjusted(3, 3, -3, -3);
        p.setPen(QPen(white(0.2), 3));
        p.drawEllipse(ring);
        p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
        const int start = int(-std::fmod(m_spinner, 1.0) * 360 * 16);
        p.drawArc(ring, start, 100 * 16);
        p.setPen(Qt::white);
        p.setFont(promptFont());
        p.drawText(l.awaitingLabel, Qt::AlignCenter, awaitingText);
        break;
    }
    case Panel::verdict: {
        QPainterPath card;
        card.addRoundedRect(l.card, 12, 12);
        p.fillPath(card, white(0.06));
        p.setPen(Qt::white);
        p.setFont(verdictHeadlineFont());
        p.drawText(l.verdictHeadline, Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop, m_verdict->headline);
        p.setPen(white(0.86));
        p.setFont(verdictDetailFont());
        p.drawText(l.verdictDetail, Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop, m_verdict->detail);
        if (!m_acceptButton) {
            p.setPen(white(0.7));
            p.setFont(heldFont());
            p.drawText(l.held, Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop, heldText);
        }
        break;
    }
    }

    p.setPen(white(0.4));
    p.setFont(footnoteFont());
    p.drawText(l.footnote, Qt::AlignCenter, footnoteText());
}
