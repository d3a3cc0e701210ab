#pragma once

#include <QList>
#include <QString>

#include <cstdint>

// One choice of the HUD's global shortcut, stored by id under "hudHotkey".
struct HotkeyChoice {
    QString id;
    QString label;
    uint32_t keysym = 0;     // X keysym of the key; 0 for "off"
    uint32_t modifiers = 0;  // GlobalShortcut::Modifier bits

    friend bool operator==(const HotkeyChoice&, const HotkeyChoice&) = default;

    // In the order the settings picker lists them; "off" first.
    static const QList<HotkeyChoice>& all();
    static const HotkeyChoice& off() { return all().first(); }
    // The row with exactly this id; "off" when none has it.
    static HotkeyChoice find(const QString& id);
};
