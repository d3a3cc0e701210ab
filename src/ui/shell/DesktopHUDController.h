#pragma once

#include "core/Lifecycle.h"

#include <QList>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <functional>
#include <optional>

class AllDesktopsPin;
class UserDefaults;

// The HUD's window: frameless, above ordinary windows, kept out of the task switcher, shown
// without taking focus from the active application, and moved by dragging its background.
// It can still take keyboard focus when clicked, so the mini chat's field can be typed into.
class DesktopHUDPanel : public QWidget {
    Q_OBJECT
public:
    DesktopHUDPanel();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::optional<QPoint> m_dragOffset;
};

struct DesktopHUDDeps {
    UserDefaults& defaults;
    // Builds the HUD's content at the first show; its close button calls `close`. None: the
    // panel is empty.
    std::function<QWidget*(std::function<void()> close)> makeContent;
    // Keeps the panel on every desktop; none where the session has no such request.
    AllDesktopsPin* pin = nullptr;
};

// The desktop HUD's one owner: builds its panel at the first show and keeps it (and the HUD's
// state in it) until the process ends, places it where the user last left it, and remembers
// every move. Main thread only.
class DesktopHUDController final : public QObject, public Lifecycle {
    Q_OBJECT
public:
    static inline const QString frameKey = QStringLiteral("tavrilon.hud.frameOrigin");
    static inline const QString showOnLaunchKey = QStringLiteral("tavrilon.hud.showOnLaunch");
    static constexpr QSize defaultSize{340, 520};
    static constexpr int edgeInset = 24;

    explicit DesktopHUDController(DesktopHUDDeps deps, QObject* parent = nullptr);
    ~DesktopHUDController() override;

    static DesktopHUDController& shared();
    // Start-up calls this when "tavrilon.hud.showOnLaunch" is set.
    void start() override { show(); }

    DesktopHUDPanel* panel() const { return m_panel; }
    bool isPanelVisible() const { return m_panel && m_panel->isVisible(); }
    // Builds and places the panel on first use; afterwards only brings it to the front, where
    // it is. Never stores the launch flag.
    void show();
    // Orders the panel out; the panel, its place and the HUD's state stay for the next show.
    void hide();
    // Hides a visible panel, otherwise shows it (the hotkey's and the status menu's rule).
    void toggle();

    // The stored text of an origin: "{x, y}", each number in its shortest form.
    static QString originText(QPointF origin);
    // Reads the first two numbers of `text` as x and y; what is missing reads as 0.
    static QPointF parseOrigin(const QString& text);
    // Where a panel of `size` opens: at the saved origin when one of `screens` contains it
    // (left and top edges inside, right and bottom edges outside), else 24 in from the top-right
    // corner of the primary screen's available area, else (0, 0).
    static QPoint placement(const std::optional<QString>& saved, const QList<QRect>& screens,
                            const std::optional<QRect>& primaryAvailable, QSize size);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void pinToAllDesktops();

    DesktopHUDDeps m_d;
    QPointer<DesktopHUDPanel> m_panel;
    // The origin last placed or stored: a move event that reports it again is no move.
    QPoint m_knownOrigin;
};
