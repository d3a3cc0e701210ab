#include "ui/shell/DesktopHUDController.h"

#include "core/UserDefaults.h"
#include "platform/AllDesktopsPin.h"
#include "ui/WindowFit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QRegularExpression>
#include <cmath>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWindow>

DesktopHUDPanel::DesktopHUDPanel() : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("DesktopHUDPanel"));
    setWindowTitle(QStringLiteral("Veltranmoor HUD"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
}

void DesktopHUDPanel::mousePressEvent(QMouseEvent* event)
{
    // A press that no control took lands here: the background drags the panel.
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    m_dragOffset = event->globalPosition().toPoint() - pos();
}

void DesktopHUDPanel::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragOffset) move(event->globalPosition().toPoint() - *m_dragOffset);
    else QWidget::mouseMoveEvent(event);
}

void DesktopHUDPanel::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragOffset.reset();
    QWidget::mouseReleaseEvent(event);
}

DesktopHUDController::DesktopHUDController(DesktopHUDDeps deps, QObject* parent) : QObject(parent), m_d(std::move(deps)) {}

DesktopHUDController::~DesktopHUDController()
{
    if (!m_panel) return;
    DesktopHUDPanel* panel = m_panel.data();
    panel->removeEventFilter(this);
    delete panel;
}

void DesktopHUDController::build()
{
    auto* panel = new DesktopHUDPanel;
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    QPointer<DesktopHUDController> self(this);
    QWidget* content = m_d.makeContent ? m_d.makeContent([self] {
        if (self) self->hide();
    })
                                       : nullptr;
    QSize size = defaultSize;
    QScrollArea* scroll = nullptr;
    if (content) {
        // A screen shorter than the HUD scrolls its content instead of cutting it off.
        scroll = new QScrollArea(panel);
        scroll->setObjectName(QStringLiteral("HUDScroll"));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        scroll->setAutoFillBackground(false);
        scroll->viewport()->setAutoFillBackground(false);
        scroll->setWidget(content);
        layout->addWidget(scroll);
        const QSize fitting = content->sizeHint();
        if (fitting.width() > 0 || fitting.height() > 0) size = fitting.expandedTo(QSize(1, 1));
    }
    QList<QRect> screens;
    for (QScreen* screen : QGuiApplication::screens()) screens << screen->geometry();
    std::optional<QRect> primary;
    if (QScreen* screen = QGuiApplication::primaryScreen()) primary = screen->availableGeometry();
    if (primary) {
        const int room = std::max(1, primary->height() - 2 * edgeInset);
        if (size.height() > room) {
            size.setHeight(room);
            if (scroll) size.setWidth(size.width() + scroll->verticalScrollBar()->sizeHint().width());
        }
    }
    panel->resize(size);

    m_knownOrigin = placement(m_d.defaults.getString(frameKey), screens, primary, panel->size());
    panel->move(m_knownOrigin);
    // A remembered place near a screen's edge still shows the whole panel.
    WindowFit::keepInside(*panel);
    m_knownOrigin = panel->pos();
    panel->installEventFilter(this);
    m_panel = panel;
}

void DesktopHUDController::pinToAllDesktops()
{
    if (m_d.pin && m_panel) m_d.pin->pin(quintptr(m_panel->winId()));
}

void DesktopHUDController::show()
{
    if (!m_panel) build();
    // Before mapping (the window manager reads it then) and after (a managed window).
    pinToAllDesktops();
    m_panel->show();
    m_panel->raise();
    pinToAllDesktops();
}

void DesktopHUDController::hide()
{
    if (m_panel) m_panel->hide();
}

void DesktopHUDController::toggle()
{
    if (isPanelVisible())
        hide();
    else
        show();
}

bool DesktopHUDController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Move && watched == static_cast<QObject*>(m_panel.data()) && m_panel->isVisible()) {
        const QPoint origin = m_panel->pos();
        if (origin != m_knownOrigin) {
            m_knownOrigin = origin;
            m_d.defaults.setString(frameKey, originText(origin));
        }
    }
    return QObject::eventFilter(watched, event);
}

QString DesktopHUDController::originText(QPointF origin)
{
    const auto number = [](double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); };
    return QLatin1Char('{') + number(origin.x()) + QStringLiteral(", ") + number(origin.y()) + QLatin1Char('}');
}

QPointF DesktopHUDController::parseOrigin(const QString& text)
{
    static const QRegularExpression number(QStringLiteral(R"([-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?)"));
    double values[2] = {0, 0};
    int found = 0;
    for (auto it = number.globalMatch(text); it.hasNext() && found < 2;) {
        bool ok = false;
        const double v = it.next().captured(0).toDouble(&ok);
        values[found++] = ok && std::isfinite(v) ? v : 0;
    }
    return {values[0], values[1]};
}

QPoint DesktopHUDController::placement(const std::optional<QString>& saved, const QList<QRect>& screens,
                                       const std::optional<QRect>& primaryAvailable, QSize size)
{
    if (saved) {
        const QPointF p = parseOrigin(*saved);
        for (const QRect& s : screens) {
            const QRectF area(s);
            if (p.x() >= area.left() && p.x() < area.left() + area.width() && p.y() >= area.top() &&
                p.y() < area.top() + area.height())
                return p.toPoint();
        }
    }
    if (primaryAvailable) {
        const QRect& a = *primaryAvailable;
        return {a.x() + a.width() - size.width() - edgeInset, a.y() + edgeInset};
    }
    return {0, 0};
}
