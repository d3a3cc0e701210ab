#include "ui/chat/TavrilonChatView.h"

#include "actions/ActionGate.h"
#include "assistant/TavrilonChatController.h"
#include "ui/chat/ChatPresentation.h"
#include "ui/chat/GateWarningSheet.h"
#include "ui/chat/MessageRow.h"
#include "ui/chat/SheetOverlay.h"
#include "ui/chat/SymbolButton.h"
#include "ui/chat/TintedSymbol.h"
#include "ui/chat/YoloArmingSheet.h"
#include "ui/chat/YoloBadge.h"
#include "ui/theme/ThemeManager.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

QString css(const QColor& c)
{
    return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF());
}

// A one-point line in the palette's border colour.
class Divider : public QWidget {
public:
    Divider(const ThemeBinding& theme, QWidget* parent) : QWidget(parent), m_theme(theme) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), m_theme.theme().border); }

private:
    const ThemeBinding& m_theme;
};

}  // namespace

TavrilonChatView::TavrilonChatView(ThemeManager& themes, ActionGate& gate, ModelRouter& router,
                                   AssistantServices services, QWidget* parent)
    : TavrilonChatView(themes, gate, *new TavrilonChatController(gate, router, services), parent)
{
    m_controller->setParent(this);
}

TavrilonChatView::TavrilonChatView(ThemeManager& themes, ActionGate& gate, TavrilonChatController& controller,
                                   QWidget* parent)
    : QWidget(parent), m_themes(themes), m_gate(gate), m_theme(this, themes), m_controller(&controller)
{
    setObjectName(QStringLiteral("TavrilonChatView"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_panel = new QWidget(this);
    outer->addWidget(m_panel);

    auto* column = new QVBoxLayout(m_panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(14, 10, 14, 10);
    header->setSpacing(8);
    m_headerIcon = new TintedSymbol(ChatPresentation::headerSymbol, 18, m_panel);
    auto* title = new QLabel(ChatPresentation::title, m_panel);
    title->setObjectName(QStringLiteral("chatTitle"));
    m_colors.add(title, QPalette::WindowText, [](const PaletteTheme& t) { return t.textBright; });
    m_badge = new YoloBadge(gate, themes, m_panel);
    header->addWidget(m_headerIcon);
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(m_badge);
    column->addLayout(header);

    m_dividers << new Divider(m_theme, m_panel);
    column->addWidget(m_dividers.last());

    m_scroll = new QScrollArea(m_panel);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_list = new QWidget;
    m_list->setObjectName(QStringLiteral("chatList"));
    m_listLayout = new QVBoxLayout(m_list);
    m_listLayout->setContentsMargins(0, 8, 0, 8);
    m_listLayout->setSpacing(2);
    m_thinking = new QLabel(ChatPresentation::thinkingText, m_list);
    m_thinking->setContentsMargins(14, 4, 14, 4);
    m_thinking->setVisible(false);
    m_colors.add(m_thinking, QPalette::WindowText, [](const PaletteTheme& t) { return t.textDim; });
    m_listLayout->addWidget(m_thinking);
    m_listLayout->addStretch(1);
    m_scroll->setWidget(m_list);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_list->setAutoFillBackground(false);
    column->addWidget(m_scroll, 1);
    m_scrollAnimation = new QPropertyAnimation(m_scroll->verticalScrollBar(), "value", this);
    m_scrollAnimation->setDuration(200);
    m_scrollAnimation->setEasingCurve(QEasingCurve::InOutQuad);

    m_dividers << new Divider(m_theme, m_panel);
    column->addWidget(m_dividers.last());

    auto* inputRow = new QHBoxLayout;
    inputRow->setContentsMargins(12, 10, 12, 10);
    inputRow->setSpacing(8);
    m_input = new QLineEdit(m_panel);
    m_input->setPlaceholderText(ChatPresentation::placeholder);
    m_input->setFrame(false);
    m_send = new SymbolButton(ChatPresentation::sendSymbol, 22, m_panel);
    inputRow->addWidget(m_input, 1);
    inputRow->addWidget(m_send);
    column->addLayout(inputRow);

    connect(m_input, &QLineEdit::returnPressed, this, &TavrilonChatView::sendInput);
    connect(m_send, &SymbolButton::clicked, this, &TavrilonChatView::sendInput);

    TavrilonChatController* chat = m_controller;
    connect(chat, &TavrilonChatController::messagesChanged, this, &TavrilonChatView::syncMessages);
    connect(chat, &TavrilonChatController::isThinkingChanged, this, &TavrilonChatView::syncThinking);
    connect(chat, &TavrilonChatController::runningActionChanged, this, &TavrilonChatView::syncThinking);
    connect(chat, &TavrilonChatController::pendingChanged, this, &TavrilonChatView::syncWarningSheet);
    connect(chat, &TavrilonChatController::showYoloSheetChanged, this, &TavrilonChatView::syncYoloSheet);
    connect(&themes, &ThemeManager::currentChanged, this, &TavrilonChatView::applyTheme);

    syncMessages();
    syncThinking();
    applyTheme();
}

void TavrilonChatView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_shownOnce) return;
    m_shownOnce = true;
    if (m_rows.size() < 2) return;
    // Once the window has laid the view out, the conversation so far shows its newest line.
    QPointer<TavrilonChatView> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (!self) return;
            self->m_listLayout->activate();
            QScrollBar* bar = self->m_scroll->verticalScrollBar();
            bar->setValue(bar->maximum());
        },
        Qt::QueuedConnection);
}

void TavrilonChatView::syncThinking()
{
    const QString& action = m_controller->runningAction();
    m_thinking->setText(ChatPresentation::thinkingLine(action));
    m_thinking->setVisible(m_controller->isThinking() || !action.isEmpty());
}

TavrilonChatView::~TavrilonChatView()
{
    // The controller may outlive this view: nothing it publishes from here on reaches it.
    m_controller->disconnect(this);
    // A sheet that goes with the view (its window closed) was dismissed without its buttons:
    // nothing is counted, and the next view opens without it.
    if (m_controller->pendingAction()) m_controller->clearPending();
    if (m_controller->showYoloSheet()) m_controller->setShowYoloSheet(false);
    // The sheets and rows call into the controller; they go before it does. The sheets live on
    // the window, which outlives this view when another tab replaces it.
    delete m_warningOverlay;
    delete m_yoloOverlay;
    releaseWindow();
    delete m_panel;
}

GateWarningSheet* TavrilonChatView::warningSheet() const
{
    return m_warningOverlay ? qobject_cast<GateWarningSheet*>(m_warningOverlay->sheet()) : nullptr;
}

YoloArmingSheet* TavrilonChatView::yoloSheet() const
{
    return m_yoloOverlay ? qobject_cast<YoloArmingSheet*>(m_yoloOverlay->sheet()) : nullptr;
}

void TavrilonChatView::sendInput()
{
    const QString text = m_input->text();
    m_input->clear();
    m_controller->send(text);
}

void TavrilonChatView::syncMessages()
{
    const QList<ChatMessage>& messages = m_controller->messages();
    const qsizetype before = m_rows.size();
    // Messages are only ever appended: rows already shown stay as they are.
    for (qsizetype i = m_rows.size(); i < messages.size(); ++i) {
        auto* row = new MessageRow(messages.at(i), m_theme.theme(), m_list);
        m_listLayout->insertWidget(int(i), row);
        row->show();  // now, not from the event loop: the scroll below needs its place
        m_rows.append(row);
    }
    // The welcome row of a new view does not scroll; every later message does.
    if (m_rows.size() != before && before > 0) scrollToNewest();
}

void TavrilonChatView::scrollToNewest()
{
    if (m_rows.isEmpty()) return;
    // Lay the list out now, so the newest row has its place before we scroll to it (the scroll
    // area would do the same a few posted events later).
    m_listLayout->activate();
    const int width = m_scroll->viewport()->width();
    const int height = std::max({m_list->hasHeightForWidth() ? m_list->heightForWidth(width) : 0,
                                 m_list->minimumSizeHint().height(), m_scroll->viewport()->height()});
    m_list->resize(width, height);
    m_listLayout->activate();
    QScrollBar* bar = m_scroll->verticalScrollBar();
    const MessageRow* newest = m_rows.last();
    const int target = std::clamp(newest->geometry().bottom() + 1 + m_listLayout->contentsMargins().bottom() -
                                      m_scroll->viewport()->height(),
                                  bar->minimum(), bar->maximum());
    m_scrollAnimation->stop();
    m_scrollAnimation->setStartValue(bar->value());
    m_scrollAnimation->setEndValue(target);
    m_scrollAnimation->start();
}

void TavrilonChatView::closeOverlay(QPointer<SheetOverlay>& overlay)
{
    if (!overlay) return;
    // Closing can start from one of the sheet's own buttons: the widgets go once it returns.
    overlay->hide();
    overlay->deleteLater();
    overlay.clear();
}

void TavrilonChatView::syncWarningSheet()
{
    const auto& action = m_controller->pendingAction();
    if (!action) {
        closeOverlay(m_warningOverlay);
        updateModality();
        return;
    }
    const auto& decision = m_controller->pendingDecision();
    if (m_warningOverlay && m_warningActionID == action->id && (warningSheet() != nullptr) == decision.has_value())
        return;
    closeOverlay(m_warningOverlay);
    m_warningActionID = action->id;
    QWidget* sheet = nullptr;
    if (decision) {
        TavrilonChatController* chat = m_controller;
        sheet = new GateWarningSheet(
            *action, *decision, [chat] { chat->proceed(); }, [chat] { chat->cancelPending(); },
            [chat] {
                chat->clearPending();
                chat->setShowYoloSheet(true);
            },
            m_themes);
    } else {
        sheet = new QWidget;  // a pending action without a decision: an empty sheet
        sheet->setMinimumHeight(120);
    }
    m_warningOverlay = new SheetOverlay(sheet, sheetHost());
    connect(m_warningOverlay, &SheetOverlay::outsideClicked, this, [this] {
        // Dismissed without its buttons: nothing is counted and nothing is said.
        m_controller->clearPending();
    });
    sheet->show();
    sheet->setFocus(Qt::OtherFocusReason);
    updateModality();
}

void TavrilonChatView::syncYoloSheet()
{
    if (!m_controller->showYoloSheet()) {
        closeOverlay(m_yoloOverlay);
        updateModality();
        return;
    }
    if (m_yoloOverlay) return;
    auto* sheet = new YoloArmingSheet(m_gate, m_themes);
    TavrilonChatController* chat = m_controller;
    connect(sheet, &YoloArmingSheet::dismissRequested, this, [chat] { chat->setShowYoloSheet(false); });
    m_yoloOverlay = new SheetOverlay(sheet, sheetHost());
    connect(m_yoloOverlay, &SheetOverlay::outsideClicked, this, [chat] { chat->setShowYoloSheet(false); });
    sheet->show();
    updateModality();
}

QWidget* TavrilonChatView::sheetHost()
{
    return window();
}

void TavrilonChatView::releaseWindow()
{
    for (const QPointer<QWidget>& w : std::as_const(m_blocked))
        if (w) w->setEnabled(true);
    m_blocked.clear();
}

void TavrilonChatView::updateModality()
{
    // While a sheet is up nothing else in the window takes input, not even from the keyboard:
    // the panel below, and in the dashboard the sidebar and the rest of the window.
    const bool sheetUp = m_warningOverlay || m_yoloOverlay;
    m_panel->setEnabled(!sheetUp);
    QWidget* host = sheetHost();
    if (sheetUp && host != this && m_blocked.isEmpty()) {
        for (QWidget* w : host->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (w == m_warningOverlay || w == m_yoloOverlay || w->isWindow() || !w->isEnabled()) continue;
            w->setEnabled(false);
            m_blocked << w;
        }
    } else if (!sheetUp) {
        releaseWindow();
    }
    if (SheetOverlay* top = m_yoloOverlay ? m_yoloOverlay.data() : m_warningOverlay.data()) {
        top->setScrim(withOpacity(m_theme.theme().background, 0.6));
        top->raise();
    } else if (isVisible()) {
        m_input->setFocus(Qt::OtherFocusReason);
    }
}

void TavrilonChatView::applyTheme()
{
    const PaletteTheme& theme = m_theme.theme();
    QPalette p = palette();
    p.setColor(QPalette::Window, theme.background);
    setPalette(p);
    setAutoFillBackground(true);
    m_colors.apply(theme);
    m_headerIcon->setColor(theme.accent);
    m_send->setColor(theme.accent);
    QFont titleFont = theme.monoFont.font(QFont::Bold);
    findChild<QLabel*>(QStringLiteral("chatTitle"))->setFont(titleFont);
    m_thinking->setFont(theme.monoFont.font());
    m_input->setFont(theme.monoFont.font());
    m_input->setStyleSheet(QStringLiteral("QLineEdit { background: %1; color: %2; border: none; border-radius: 8px; "
                                          "padding: 7px 10px; selection-background-color: %3; }")
                               .arg(css(theme.surface), css(theme.text), css(withOpacity(theme.accent, 0.45))));
    QPalette ip = m_input->palette();
    ip.setColor(QPalette::PlaceholderText, theme.textDim);
    m_input->setPalette(ip);
    m_scroll->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"
                                           "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px; }"
                                           "QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: 24px; }"
                                           "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
                                           "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }")
                                .arg(css(theme.border)));
    for (MessageRow* row : m_rows) row->setTheme(theme);
    for (QWidget* d : m_dividers) d->update();
    for (SheetOverlay* o : {m_warningOverlay.data(), m_yoloOverlay.data()})
        if (o) o->setScrim(withOpacity(theme.background, 0.6));
    update();
}
