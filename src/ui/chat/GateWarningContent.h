#pragma once

#include "actions/GateDecision.h"
#include "actions/TavrilonAction.h"
#include "ui/theme/PaletteTheme.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <optional>

// Everything the gate's warning sheet shows for one action and decision. Only the decision's
// kind matters: its lists and reason are never shown (the action's own lists are).
struct GateWarningContent {
    struct Card {
        QString title;  // as displayed: upper case
        QColor color;
        QStringList items;
    };
    enum class Trailing { armYolo, proceed };

    QString icon;
    QColor iconColor;
    QString title;
    QString detail;
    std::optional<Card> safer;
    std::optional<Card> concerns;
    std::optional<QString> note;
    QString cancelLabel;
    Trailing trailing = Trailing::armYolo;
    QString trailingLabel;
    QColor trailingColor;

    static inline const QString blockedNote = QStringLiteral(
        "YOLO mode is off and you've already been warned twice. Arm YOLO (password-locked, your own "
        "Opus-class key) to allow irreversible actions.");

    static GateWarningContent make(const TavrilonAction& action, const GateDecision& decision,
                                   const PaletteTheme& theme);
};
