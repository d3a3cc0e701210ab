#include "ui/dashboard/ImageView.h"

#include "ui/theme/SymbolIcon.h"

#include <QPainter>
#include <QSvgRenderer>

ImageView::ImageView(const QString& name, QSize frame, double opacity, QWidget* parent)
    : QWidget(parent), m_renderer(new QSvgRenderer(SymbolIcon::resourcePath(name), this)), m_opacity(opacity)
{
    setFixedSize(frame);
}

bool ImageView::isValid() const
{
    return m_renderer->isValid();
}

void ImageView::paintEvent(QPaintEvent*)
{
    if (!m_renderer->isValid()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setOpacity(m_opacity);
    QSizeF size = m_renderer->defaultSize();
    size.scale(QSizeF(this->size()), Qt::KeepAspectRatio);
    const QRectF target(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    m_renderer->render(&p, target);
}
