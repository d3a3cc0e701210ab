#pragma once

#include "actions/GateDecision.h"
#include "actions/TavrilonAction.h"
#include "ui/chat/GateWarningContent.h"
#include "ui/chat/ThemedColors.h"
#include "ui/theme/ThemeBinding.h"

#include <QFrame>
#include <functional>

class QLabel;
class QPushButton;
class TintedSymbol;
class ThemeManager;

// The sheet shown for an action the gate does not let run at once. It decides nothing and
// never closes itself: each button calls its callback once and the presenter takes it away.
// Escape is Cancel; Return does nothing.
class GateWarningSheet : public QFrame {
    Q_OBJECT
public:
    GateWarningSheet(TavrilonAction action, GateDecision decision, std::function<void()> onProceed,
                     std::function<void()> onCancel, std::function<void()> onArmYolo, ThemeManager& themes,
                     QWidget* parent = nullptr);

    const GateWarningContent& content() const { return m_content; }
    TintedSymbol* icon() const { return m_icon; }
    QLabel* titleLabel() const { return m_title; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* trailingButton() const { return m_trailing; }
    // The texts shown, top to bottom (title, detail, card titles and rows, note, buttons).
    QStringList shownTexts() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;

private:
    void applyTheme();
    QWidget* makeCard(const GateWarningContent::Card& card, bool safer);

    TavrilonAction m_action;
    GateDecision m_decision;
    std::function<void()> m_onProceed;
    std::function<void()> m_onCancel;
    std::function<void()> m_onArmYolo;
    ThemeBinding m_theme;
    GateWarningContent m_content;
    ThemedColors m_colors;
    TintedSymbol* m_icon = nullptr;
    QLabel* m_title = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_trailing = nullptr;
    QList<QWidget*> m_cards;
};
