#pragma once

#include "core/Lifecycle.h"
#include "ui/shell/HotkeyChoice.h"

#include <QObject>

#include <functional>
#include <optional>

class GlobalShortcut;
class UserDefaults;

// Owns the one global shortcut that shows or hides the desktop HUD: the choice stored under
// "hudHotkey", grabbed at start-up and again whenever the stored choice changes.
class HotkeyManager final : public QObject, public Lifecycle {
    Q_OBJECT
public:
    static inline const QString hotkeyKey = QStringLiteral("hudHotkey");

    HotkeyManager(UserDefaults& defaults, GlobalShortcut& shortcut, std::function<void()> toggleHUD,
                  QObject* parent = nullptr);

    static HotkeyManager& shared();

    void start() override;
    // Replaces the grabbed shortcut by the choice with this id ("off" or an unknown id: none).
    void registerChoice(const QString& id);

    // The choice that is grabbed now, if any.
    const std::optional<HotkeyChoice>& registered() const { return m_registered; }

private:
    UserDefaults& m_defaults;
    GlobalShortcut& m_shortcut;
    std::function<void()> m_toggleHUD;
    std::optional<HotkeyChoice> m_registered;
    bool m_started = false;
    bool m_toldUnavailable = false;
};
