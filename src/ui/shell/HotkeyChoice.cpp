#include "ui/shell/HotkeyChoice.h"

#include "platform/GlobalShortcut.h"

const QList<HotkeyChoice>& HotkeyChoice::all()
{
    using M = GlobalShortcut::Modifier;
    static const QList<HotkeyChoice> choices{
        {QStringLiteral("off"), QStringLiteral("Off"), 0, 0},
        {QStringLiteral("cmd-opt-h"), QStringLiteral("Super+Alt+H"), 'h', M::super | M::alt},
        {QStringLiteral("cmd-opt-g"), QStringLiteral("Super+Alt+G"), 'g', M::super | M::alt},
        {QStringLiteral("ctrl-opt-h"), QStringLiteral("Ctrl+Alt+H"), 'h', M::control | M::alt},
        {QStringLiteral("cmd-shift-h"), QStringLiteral("Super+Shift+H"), 'h', M::super | M::shift},
        {QStringLiteral("cmd-ctrl-opt-m"), QStringLiteral("Super+Ctrl+Alt+M"), 'm', M::super | M::control | M::alt},
    };
    return choices;
}

HotkeyChoice HotkeyChoice::find(const QString& id)
{
    for (const HotkeyChoice& c : all())
        if (c.id == id) return c;
    return off();
}
