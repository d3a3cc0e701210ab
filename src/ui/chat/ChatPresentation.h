#pragma once

#include "assistant/ChatMessage.h"
#include "ui/theme/PaletteTheme.h"

#include <QColor>
#include <QString>
#include <optional>

// What the chat panel shows, decided without widgets: the fixed texts, the YOLO badge and how
// each message row is arranged and coloured. The widgets only draw these.
namespace ChatPresentation {

inline const QString title = QStringLiteral("TAVRILON CHAT");
inline const QString headerSymbol = QStringLiteral("bubble.left.and.text.bubble.right.fill");
inline const QString sendSymbol = QStringLiteral("arrow.up.circle.fill");
inline const QString placeholder = QStringLiteral("Ask the Tavrilon\u2026");
inline const QString thinkingText = QStringLiteral("thinking\u2026");
// "thinking…", or "Clean caches & junk — thinking…" while that action runs.
inline QString thinkingLine(const QString& runningAction)
{
    return runningAction.isEmpty() ? thinkingText : runningAction + QStringLiteral(" \u2014 ") + thinkingText;
}
inline const QString undoText = QStringLiteral("Undo");
// The free space beside a bubble is at least this wide.
constexpr int minimumGap = 40;

struct BadgeLook {
    QString label;
    QColor dot;
    QColor labelColor;
    QColor outline;
};
BadgeLook yoloBadge(bool armed, const PaletteTheme& theme);

enum class Side { leading, trailing };

struct RowLook {
    Side side = Side::leading;
    QColor textColor;
    QColor bubbleFill;
    bool showsUndo = false;
    std::optional<QString> backendLabel;
};
RowLook messageRow(const ChatMessage& message, const PaletteTheme& theme);

}  // namespace ChatPresentation
