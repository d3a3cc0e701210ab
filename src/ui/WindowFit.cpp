#include "ui/WindowFit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {

bool isDecorated(const QWidget& window)
{
    const Qt::WindowFlags flags = window.windowFlags();
    return !flags.testFlag(Qt::FramelessWindowHint) && window.windowType() != Qt::Popup &&
           window.windowType() != Qt::ToolTip && window.windowType() != Qt::SplashScreen;
}

QMargins frameOf(const QWidget& window)
{
    if (!isDecorated(window)) return {};
    if (window.isVisible()) {
        const QRect frame = window.frameGeometry(), inner = window.geometry();
        const QMargins real(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                            frame.bottom() - inner.bottom());
        if (!real.isNull()) return real;
    }
    return WindowFit::assumedFrame;
}

QSize cut(QSize size, QSize limit) { return size.boundedTo(limit).expandedTo(QSize(1, 1)); }

// Re-fits a window each time it is shown, once the window manager has framed it.
class FitOnShow final : public QObject {
public:
    static inline const QString name = QStringLiteral("windowFitOnShow");

    explicit FitOnShow(QWidget& window) : QObject(&window)
    {
        setObjectName(name);
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched == parent()) {
            QPointer<QWidget> window(static_cast<QWidget*>(watched));
            // Now, and again when the frame extents have had time to arrive.
            for (int delay : {0, 250}) {
                QTimer::singleShot(delay, this, [window] {
                    if (window && window->isVisible()) WindowFit::keepInside(*window);
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

QRect WindowFit::availableArea(const QWidget& window)
{
    // The screen under the window's middle, else the one it was given, else the primary one.
    QScreen* screen = QGuiApplication::screenAt(window.frameGeometry().center());
    if (!screen) screen = window.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

QSize WindowFit::contentLimit(const QRect& area, const QMargins& margins)
{
    return QSize(area.width() - margins.left() - margins.right(), area.height() - margins.top() - margins.bottom())
        .expandedTo(QSize(1, 1));
}

void WindowFit::fit(QWidget& window, QSize wanted, QSize minimum)
{
    const QRect area = availableArea(window);
    const QMargins margins = frameOf(window);
    const QSize limit = contentLimit(area, margins);
    window.setMinimumSize(cut(minimum, limit));
    const QSize size = cut(wanted.expandedTo(window.minimumSize()), limit);
    window.resize(size);
    const QSize outer = size.grownBy(margins);
    // A window's position is its frame's.
    window.move(area.left() + (area.width() - outer.width()) / 2, area.top() + (area.height() - outer.height()) / 2);
    if (!window.findChild<QObject*>(FitOnShow::name, Qt::FindDirectChildrenOnly)) new FitOnShow(window);
}

void WindowFit::keepInside(QWidget& window)
{
    const QRect area = availableArea(window);
    const QMargins margins = frameOf(window);
    const QSize limit = contentLimit(area, margins);
    if (window.minimumWidth() > limit.width() || window.minimumHeight() > limit.height())
        window.setMinimumSize(window.minimumSize().boundedTo(limit));
    const QSize size = window.size().boundedTo(limit);
    if (size != window.size()) window.resize(size);
    // Where the frame would lie, pushed back inside the area.
    QRect frame(window.geometry().topLeft() - QPoint(margins.left(), margins.top()), size.grownBy(margins));
    frame.moveLeft(std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() + 1 - frame.width())));
    frame.moveTop(std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height())));
    if (frame.topLeft() != window.pos()) window.move(frame.topLeft());
}
