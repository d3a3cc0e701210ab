#include "ui/chat/ChatPresentation.h"

namespace ChatPresentation {

BadgeLook yoloBadge(bool armed, const PaletteTheme& theme)
{
    if (armed) return {QStringLiteral("YOLO ARMED"), theme.danger, theme.danger, theme.danger};
    return {QStringLiteral("SAFE"), theme.success, theme.textDim, theme.border};
}

RowLook messageRow(const ChatMessage& message, const PaletteTheme& theme)
{
    RowLook look;
    look.showsUndo = static_cast<bool>(message.undo);
    look.backendLabel = message.backendLabel;
    switch (message.role) {
    case ChatMessage::Role::user:
        look.side = Side::trailing;
        look.textColor = theme.textBright;
        look.bubbleFill = withOpacity(theme.accent, 0.18);
        break;
    case ChatMessage::Role::tavrilon:
        look.textColor = theme.text;
        look.bubbleFill = theme.surface;
        break;
    case ChatMessage::Role::system:
        look.textColor = theme.textDim;
        look.bubbleFill = withOpacity(theme.surface, 0.4);
        break;
    }
    return look;
}

}  // namespace ChatPresentation
