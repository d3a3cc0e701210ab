#pragma once

#include <QKeySequence>
#include <QObject>

#include <functional>

// Ctrl+Q quits from every window of the application: the dashboard, the settings window, the
// popover, the HUD, the recovery window and any dialog. It watches the key presses of the whole
// application, so no window needs a menu of its own for it.
class QuitShortcut final : public QObject {
    Q_OBJECT
public:
    static inline const QKeySequence sequence{Qt::CTRL | Qt::Key_Q};

    // `quit` runs once the key press has been handled, on the main loop.
    explicit QuitShortcut(std::function<void()> quit, QObject* parent = nullptr);
    ~QuitShortcut() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_quit;
};
