#include "ui/dashboard/DashboardStyle.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainterPath>
#include <QScreen>
#include <QListView>
#include <QScrollArea>

namespace DashboardStyle {

QFont font(qreal size, QFont::Weight weight)
{
    return systemFont(size, weight);
}

QFont mono(qreal size, QFont::Weight weight)
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // Same size rule as the proportional font, so both line up in one row.
    f.setPointSizeF(systemFont(size).pointSizeF());
    f.setWeight(weight);
    return f;
}

QFont tracked(QFont font, qreal tracking)
{
    font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return font;
}

void paintCard(QPainter& p, const QRectF& rect, const PaletteTheme& theme)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect.adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(r, cardRadius, cardRadius);
    p.fillPath(shape, theme.surface);
    p.setPen(QPen(theme.border, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    p.restore();
}

QScrollArea* recordListScroll(QWidget* parent)
{
    auto* scroll = new QScrollArea(parent);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->viewport()->setAutoFillBackground(false);
    return scroll;
}

QListView* recordListView(QWidget* parent)
{
    auto* list = new QListView(parent);
    list->setFrameShape(QFrame::NoFrame);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setFocusPolicy(Qt::NoFocus);
    list->setMouseTracking(true);
    // Rows are as wide as the list and tall as their content: a new width lays them out again.
    list->setResizeMode(QListView::Adjust);
    list->setAutoFillBackground(false);
    list->viewport()->setAutoFillBackground(false);
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    list->setPalette(palette);
    return list;
}

}  // namespace DashboardStyle
