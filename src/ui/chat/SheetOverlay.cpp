#include "ui/chat/SheetOverlay.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {
constexpr int kMaxSheetWidth = 480;
constexpr int kMargin = 20;
}  // namespace

SheetOverlay::SheetOverlay(QWidget* sheet, QWidget* parent) : QWidget(parent), m_sheet(sheet)
{
    m_sheet->setParent(this);
    m_sheet->installEventFilter(this);
    parent->installEventFilter(this);
    setGeometry(parent->rect());
    place();
    raise();
    show();
}

void SheetOverlay::setScrim(const QColor& color)
{
    m_scrim = color;
    update();
}

bool SheetOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    // Lines of the sheet appear and go (an error, a banner): fit it again.
    if (watched == m_sheet && event->type() == QEvent::LayoutRequest) place();
    return QWidget::eventFilter(watched, event);
}

void SheetOverlay::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), m_scrim);
}

void SheetOverlay::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (!m_sheet->geometry().contains(event->position().toPoint())) Q_EMIT outsideClicked();
}

void SheetOverlay::resizeEvent(QResizeEvent*) { place(); }

void SheetOverlay::place()
{
    const int w = std::max(200, std::min(kMaxSheetWidth, width() - 2 * kMargin));
    const int h = std::min(m_sheet->heightForWidth(w) > 0 ? m_sheet->heightForWidth(w) : m_sheet->sizeHint().height(),
                           std::max(100, height() - 2 * kMargin));
    m_sheet->setGeometry((width() - w) / 2, std::max(kMargin, (height() - h) / 3), w, h);
}

void paintSheetCard(QWidget* sheet, const QColor& background, const QColor& border)
{
    QPainter p(sheet);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(border, 1));
    p.setBrush(background);
    p.drawRoundedRect(QRectF(sheet->rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
}
