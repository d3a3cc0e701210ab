#pragma once

#include "assistant/AssistantServices.h"
#include "ui/chat/SheetOverlay.h"
#include "ui/chat/ThemedColors.h"
#include "ui/theme/ThemeBinding.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

class ActionGate;
class GateWarningSheet;
class MessageRow;
class ModelRouter;
class QLabel;
class QLineEdit;
class QPropertyAnimation;
class QScrollArea;
class QVBoxLayout;
class SymbolButton;
class TintedSymbol;
class TavrilonChatController;
class ThemeManager;
class YoloArmingSheet;
class YoloBadge;

// The assistant's chat panel: header with the YOLO badge, the conversation with its thinking
// line, the input row, and the gate's two sheets over it. It shows only what the controller,
// the gate and the palette publish. Built over a controller that outlives it (the dashboard's),
// it shows the conversation so far, and a reply that arrives later lands in the controller
// whether or not a view is open; built with its own controller, it is a new conversation.
class TavrilonChatView : public QWidget {
    Q_OBJECT
public:
    TavrilonChatView(ThemeManager& themes, ActionGate& gate, TavrilonChatController& controller,
                     QWidget* parent = nullptr);
    TavrilonChatView(ThemeManager& themes, ActionGate& gate, ModelRouter& router, AssistantServices services,
                     QWidget* parent = nullptr);
    ~TavrilonChatView() override;

    TavrilonChatController& controller() { return *m_controller; }

    QLineEdit* input() const { return m_input; }
    SymbolButton* sendButton() const { return m_send; }
    YoloBadge* badge() const { return m_badge; }
    QLabel* thinkingLine() const { return m_thinking; }
    QScrollArea* conversation() const { return m_scroll; }
    QList<MessageRow*> rows() const { return m_rows; }
    // The open sheets, null when none is shown.
    GateWarningSheet* warningSheet() const;
    YoloArmingSheet* yoloSheet() const;
    // The overlays holding them (a click on their scrim dismisses the sheet).
    SheetOverlay* warningOverlay() const { return m_warningOverlay; }
    SheetOverlay* yoloOverlay() const { return m_yoloOverlay; }

    // Takes the field's text, empties the field and hands the text to the controller as typed.
    void sendInput();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The thinking line: shown while a model question is open or a slow action runs, with the
    // action's title.
    void syncThinking();
    void syncMessages();
    void scrollToNewest();
    void syncWarningSheet();
    void syncYoloSheet();
    void closeOverlay(QPointer<SheetOverlay>& overlay);
    // The sheets cover the whole window the chat is shown in (in the dashboard, the sidebar too).
    QWidget* sheetHost();
    void updateModality();
    // Gives back the input of what a sheet disabled around the chat.
    void releaseWindow();
    void applyTheme();

    ThemeManager& m_themes;
    ActionGate& m_gate;
    ThemeBinding m_theme;
    TavrilonChatController* m_controller;  // a child when the view made it
    // A conversation shown anew opens at its newest message.
    bool m_shownOnce = false;
    ThemedColors m_colors;

    QWidget* m_panel = nullptr;
    TintedSymbol* m_headerIcon = nullptr;
    YoloBadge* m_badge = nullptr;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_list = nullptr;
    QVBoxLayout* m_listLayout = nullptr;
    QLabel* m_thinking = nullptr;
    QLineEdit* m_input = nullptr;
    SymbolButton* m_send = nullptr;
    QList<QWidget*> m_dividers;
    QList<MessageRow*> m_rows;
    QPropertyAnimation* m_scrollAnimation = nullptr;

    QPointer<SheetOverlay> m_warningOverlay;
    QUuid m_warningActionID;
    QPointer<SheetOverlay> m_yoloOverlay;
    // The widgets of the window beside this view that an open sheet disabled.
    QList<QPointer<QWidget>> m_blocked;
};
