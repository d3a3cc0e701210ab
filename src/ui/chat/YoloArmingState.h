#pragma once

#include "actions/ArmResult.h"

#include <QString>
#include <QStringList>
#include <optional>

class ActionGate;

// The arming sheet without its widgets: the password typed, the confirmations accepted so far
// and the message of the last press, with every text the sheet shows. A fresh state belongs
// to each presentation of the sheet.
class YoloArmingState {
public:
    static constexpr int required = 3;
    static const QStringList stepConcerns;
    static const QString saferFirst;
    static const QString title;
    static const QString symbol;
    static const QString passwordCaption;
    static const QString passwordPlaceholder;

    QString password;

    int confirmations() const { return m_confirmations; }
    const std::optional<QString>& errorText() const { return m_errorText; }

    // "Confirmation N of 3", N = min(confirmations + 1, 3).
    QString counterText() const;
    QString stepConcern() const;
    bool dotFilled(int index) const { return index < m_confirmations; }
    // "Confirm (1/3)", "Confirm (2/3)", then "Arm YOLO".
    QString confirmLabel() const;

    // Asks the gate with the password and the count including this press; true when the gate
    // is armed and the sheet should close.
    bool press(ActionGate& gate);
    // The state change for one answer of the gate; true when armed.
    bool apply(const ArmResult& result);

    // The banner shown while the last answering backend is not a frontier model, read afresh.
    static std::optional<QString> eligibilityBanner(const ActionGate& gate);

private:
    int m_confirmations = 0;
    std::optional<QString> m_errorText;
};
