#pragma once

#include "core/Lifecycle.h"

#include <QPointer>
#include <QWidget>

// The desktop HUD's owner. Until the HUD's content lands, its panel is an empty floating
// window, so the menu entry and the hotkey have something real to show and hide.
class DesktopHUDController final : public Lifecycle {
public:
    DesktopHUDController() = default;
    ~DesktopHUDController() override;

    static DesktopHUDController& shared();
    void start() override { show(); }

    QWidget* panel() const { return m_panel; }
    bool isPanelVisible() const { return m_panel && m_panel->isVisible(); }
    // Builds the panel on first use, or brings the existing one back.
    void show();
    // Orders the panel out; it is kept for the next show.
    void hide();
    // Hides a visible panel, otherwise shows it.
    void toggle();

private:
    QPointer<QWidget> m_panel;
};
