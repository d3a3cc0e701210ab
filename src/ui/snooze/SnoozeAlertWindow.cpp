#include "ui/snooze/SnoozeAlertWindow.h"

#include "core/Clock.h"
#include "core/Log.h"
#include "platform/AlarmSound.h"
#include "ui/snooze/SnoozeAlertView.h"
#include "ui/snooze/SnoozeBlackoutView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>

namespace {

// The full-screen surface: frameless, above every other window, and not closed by the window
// manager (only a dismissal closes it).
class AlertSurface final : public QWidget {
public:
    AlertSurface() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    {
        setObjectName(QStringLiteral("SnoozeAlertWindow"));
        setWindowTitle(QStringLiteral("Snooze Guard"));
        setAttribute(Qt::WA_TranslucentBackground);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }

protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

// The X key code of the key that types 9 on the present layout; 0 off X11.
quint32 nineKeycode()
{
    static const quint32 code = [] {
        auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
        if (!connection) return 0u;
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
        if (!symbols) return 0u;
        quint32 found = 0;
        if (xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, 0x39 /* XK_9 */)) {
            found = codes[0];
            std::free(codes);
        }
        xcb_key_symbols_free(symbols);
        return found;
    }();
    return code;
}

const QString guardTag = QStringLiteral("[SnoozeGuard] ");

}  // namespace

SnoozeAlertWindow::SnoozeAlertWindow(Collaborators c, QObject* parent) : QObject(parent), m_c(std::move(c))
{
    m_soundTimer.setInterval(m_c.alarmInterval);
    connect(&m_soundTimer, &QTimer::timeout, this, &SnoozeAlertWindow::playAlarmTick);
    m_autoDismissTimer.setSingleShot(true);
    connect(&m_autoDismissTimer, &QTimer::timeout, this, [this] {
        dismiss();
        Log::line(guardTag + QStringLiteral("alert auto-dismissed after 60s of no re-fire"));
    });
    m_grabTimer.setInterval(m_c.grabRetry);
    connect(&m_grabTimer, &QTimer::timeout, this, &SnoozeAlertWindow::tryGrab);
}

SnoozeAlertWindow::~SnoozeAlertWindow()
{
    dismiss();
    delete m_retired.data();
}

bool SnoozeAlertWindow::isDismissShortcut(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if (!(modifiers & Qt::MetaModifier) || !(modifiers & Qt::ShiftModifier)) return false;
    // With Shift held the 9 key types another character on most layouts: the key itself counts.
    if (event.key() == Qt::Key_9) return true;
    const quint32 code = nineKeycode();
    return code != 0 && event.nativeScanCode() == code;
}

void SnoozeAlertWindow::show(const QString& reason, int level)
{
    const int clamped = qBound(0, level, 5);
    if (m_showing) {
        // A blackout already up stays as it is: typing in its editor can itself raise alerts
        // (key bursts), and a new view would throw away the text and the coach's pending answer.
        if (!(clamped == 5 && qobject_cast<SnoozeBlackoutView*>(m_content.data()))) updateContent(reason, clamped);
        scheduleAutoDismiss();
        return;
    }
    m_showing = true;
    ++m_generation;

    auto* surface = new AlertSurface;
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect frame = screen ? screen->geometry() : QRect(0, 0, 1440, 900);
    surface->setGeometry(frame);
    surface->winId();
    if (screen && surface->windowHandle()) surface->windowHandle()->setScreen(screen);
    m_window = surface;
    updateContent(reason, clamped);
    surface->showFullScreen();
    surface->raise();
    surface->activateWindow();
    qApp->installEventFilter(this);

    installLockout();
    playAlarmTick();
    m_soundTimer.start();
    scheduleAutoDismiss();
}

void SnoozeAlertWindow::updateContent(const QString& reason, int level)
{
    if (!m_window) return;
    QWidget* old = m_content;
    QWidget* root = makeRootView(reason, level);
    m_window->layout()->addWidget(root);
    m_content = root;
    if (old) {
        m_window->layout()->removeWidget(old);
        old->hide();
        old->deleteLater();
    }
    root->show();
    if (auto* blackout = qobject_cast<SnoozeBlackoutView*>(root)) blackout->editor()->setFocus();
    else root->setFocus();
}

QWidget* SnoozeAlertWindow::makeRootView(const QString& reason, int level)
{
    if (level >= 5) {
        QPointer<SnoozeAlertWindow> self(this);
        return new SnoozeBlackoutView(
            reason,
            [self, reason](const QString& text, BlackoutVerdictSource::Completion completion) {
                if (!self) {
                    completion(BlackoutVerdict{});
                    return;
                }
                self->m_c.verdicts.ask(text, reason, std::move(completion));
            },
            [self](int minutes) {
                if (self) self->acceptCompromise(minutes);
            },
            m_c.addressee);
    }
    auto* view = new SnoozeAlertView(reason, level, m_c.addressee);
    view->setFocusPolicy(Qt::StrongFocus);
    return view;
}

void SnoozeAlertWindow::scheduleAutoDismiss()
{
    m_autoDismissTimer.start(m_c.autoDismissAfter);
}

void SnoozeAlertWindow::playAlarmTick()
{
    // The volume is raised once per showing, and only when it could be read, so that it can be
    // put back as it was; a volume the user lowers during the alert stays lowered.
    if (m_volumeState == VolumeState::untouched) {
        m_volumeState = VolumeState::reading;
        QPointer<SnoozeAlertWindow> self(this);
        const quint64 generation = m_generation;
        m_c.volume.read([self, generation](std::optional<OutputVolume::Levels> levels) {
            if (!self || !self->m_showing || self->m_generation != generation) return;
            if (!levels) {
                self->m_volumeState = VolumeState::unreadable;
                return;
            }
            self->m_savedVolume = *levels;
            self->m_volumeState = VolumeState::raised;
            self->m_c.volume.set({100});
        });
    }
    m_c.alarm.play();
}

void SnoozeAlertWindow::installLockout()
{
    m_grabTries = 0;
    m_grabTimer.start();
}

void SnoozeAlertWindow::tryGrab()
{
    if (!m_showing || !m_window) {
        m_grabTimer.stop();
        return;
    }
    QWindow* handle = m_window->windowHandle();
    // Only a mapped window can take the keyboard; until then the attempt fails and is repeated.
    if (handle && handle->isExposed() && handle->setKeyboardGrabEnabled(true)) {
        m_grabTimer.stop();
        m_keyboardLocked = true;
        Q_EMIT keyboardLockChanged(true);
        return;
    }
    if (++m_grabTries < m_c.grabAttempts) return;
    m_grabTimer.stop();
    Log::line(guardTag + QStringLiteral("lockout tap install failed — alert visible but keys not locked"));
}

void SnoozeAlertWindow::removeLockout()
{
    m_grabTimer.stop();
    if (!m_keyboardLocked) return;
    if (m_window && m_window->windowHandle()) m_window->windowHandle()->setKeyboardGrabEnabled(false);
    m_keyboardLocked = false;
    Q_EMIT keyboardLockChanged(false);
}

bool SnoozeAlertWindow::belongsToWindow(QObject* object) const
{
    if (!m_window) return false;
    if (auto* widget = qobject_cast<QWidget*>(object)) return widget->window() == m_window;
    if (auto* window = qobject_cast<QWindow*>(object)) return window == m_window->windowHandle();
    return false;
}

bool SnoozeAlertWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (!m_showing) return QObject::eventFilter(watched, event);
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride) {
        return QObject::eventFilter(watched, event);
    }
    // While the alert is up no other window of ours takes keys either. The keyboard grab sends
    // every key to the alert, but the toolkit hands it to whichever of our windows it last saw
    // focused (the window manager may have refused the alert's activation): such keys go on to
    // the alert's own focused widget.
    if (!belongsToWindow(watched)) {
        if (qobject_cast<QWindow*>(watched) && type != QEvent::ShortcutOverride && m_window) {
            QWidget* target = m_window->focusWidget() ? m_window->focusWidget() : m_content.data();
            if (target) {
                const auto* key = static_cast<QKeyEvent*>(event);
                QKeyEvent copy(type, key->key(), key->modifiers(), key->nativeScanCode(), key->nativeVirtualKey(),
                               key->nativeModifiers(), key->text(), key->isAutoRepeat(), ushort(key->count()));
                QCoreApplication::sendEvent(target, &copy);
            }
        }
        return qobject_cast<QWidget*>(watched) || qobject_cast<QWindow*>(watched);
    }
    // Only the widgets see a key; the window's own copy passes on to them.
    if (!qobject_cast<QWidget*>(watched)) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (!isDismissShortcut(*key)) return false;
    if (type == QEvent::KeyPress && !key->isAutoRepeat()) {
        // Handled after this event is done: a dismissal closes the window that is receiving it.
        QMetaObject::invokeMethod(this, &SnoozeAlertWindow::handleDismissShortcut, Qt::QueuedConnection);
    }
    event->accept();
    return true;
}

void SnoozeAlertWindow::handleDismissShortcut()
{
    if (!m_showing) return;
    const QDateTime now = m_c.clock.now();
    m_dismissShortcutTimestamps.removeIf(
        [&](const QDateTime& at) { return at.msecsTo(now) > shortcutWindow.count(); });
    m_dismissShortcutTimestamps << now;
    if (m_c.guard.escalationLevel() >= 5) {
        if (m_dismissShortcutTimestamps.size() < 3) return;
        Log::line(guardTag + QStringLiteral("emergency override — blackout bypassed by triple Cmd+Shift+9"));
        m_c.guard.emergencyOverride();
        dismiss();
        return;
    }
    dismiss();
}

void SnoozeAlertWindow::acceptCompromise(int minutes)
{
    Log::line(guardTag + QStringLiteral("blackout compromise accepted — ") + QString::number(minutes) +
              QStringLiteral("min extension"));
    m_c.guard.grantCompromise(minutes);
    dismiss();
}

void SnoozeAlertWindow::dismiss()
{
    if (!m_showing) return;
    m_showing = false;
    ++m_generation;
    m_soundTimer.stop();
    m_autoDismissTimer.stop();
    m_c.alarm.stop();
    if (m_volumeState == VolumeState::raised) m_c.volume.set(m_savedVolume);
    m_volumeState = VolumeState::untouched;
    m_savedVolume.clear();
    removeLockout();
    qApp->removeEventFilter(this);
    if (m_window) {
        m_window->hide();
        // Later: a dismissal may come from a button inside it.
        m_window->deleteLater();
        m_retired = m_window;
    }
    m_window = nullptr;
    m_content = nullptr;
    m_dismissShortcutTimestamps.clear();
}
