#pragma once

#include "ui/chat/ThemedColors.h"
#include "ui/chat/YoloArmingState.h"
#include "ui/theme/ThemeBinding.h"

#include <QFrame>

class ActionGate;
class QLabel;
class QLineEdit;
class QPushButton;
class TintedSymbol;
class ThemeManager;

// The sheet that arms YOLO mode: the unlock password and three confirmations in a row, each
// asked of the gate. It only arms, and closes itself (dismissRequested) once armed or on
// Cancel / Escape. Return does nothing. Each presentation is a new sheet starting at zero.
class YoloArmingSheet : public QFrame {
    Q_OBJECT
public:
    YoloArmingSheet(ActionGate& gate, ThemeManager& themes, QWidget* parent = nullptr);

    const YoloArmingState& state() const { return m_state; }
    QLineEdit* passwordField() const { return m_password; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* confirmButton() const { return m_confirm; }
    QLabel* banner() const { return m_banner; }
    QLabel* counter() const { return m_counter; }
    QLabel* concern() const { return m_concern; }
    QLabel* errorLabel() const { return m_error; }
    int filledDots() const;

    void confirm();

Q_SIGNALS:
    void dismissRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;

private:
    void refresh();
    void applyTheme();

    ActionGate& m_gate;
    ThemeBinding m_theme;
    YoloArmingState m_state;
    ThemedColors m_colors;
    TintedSymbol* m_icon = nullptr;
    QLabel* m_banner = nullptr;
    QLineEdit* m_password = nullptr;
    QWidget* m_dots = nullptr;
    QLabel* m_counter = nullptr;
    QLabel* m_concern = nullptr;
    QLabel* m_error = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_confirm = nullptr;
    QWidget* m_card = nullptr;
};
