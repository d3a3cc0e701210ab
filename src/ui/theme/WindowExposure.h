#pragma once

#include <QObject>
#include <QPointer>

class QWidget;
class QWindow;

// Whether a widget can be seen: shown, and its window neither hidden, minimised nor (where the
// window system tells) fully covered. Work that only feeds drawing waits while it cannot.
bool isOnScreen(const QWidget* widget);

// Tells a widget when its window comes on screen again, so that it can catch up on what it
// skipped meanwhile.
class ExposureWatch : public QObject {
    Q_OBJECT
public:
    explicit ExposureWatch(QWidget* widget);

Q_SIGNALS:
    void cameOnScreen();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void hookWindow();

    QWidget* m_widget;
    QPointer<QWindow> m_window;
};
