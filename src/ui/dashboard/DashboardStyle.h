#pragma once

class QListView;
class QScrollArea;
class QWidget;

#include "ui/theme/PaletteTheme.h"

#include <QFont>
#include <QPainter>
#include <QRectF>

// Fonts and the card frame the dashboard's views share.
namespace DashboardStyle {

// The system font at a size in layout points, with a weight.
QFont font(qreal size, QFont::Weight weight = QFont::Normal);
// Its monospaced design: the system fixed font, same size rule.
QFont mono(qreal size, QFont::Weight weight = QFont::Normal);
// Letter tracking in points.
QFont tracked(QFont font, qreal tracking);

inline constexpr qreal cardRadius = 12;
inline constexpr int cardPadding = 16;
inline constexpr int largeCardPadding = 20;

// The card frame: the palette's surface in a rounded rectangle stroked 1 pt in its border.
void paintCard(QPainter& p, const QRectF& rect, const PaletteTheme& theme);

// The scroll area of a record list: vertical only, its bar always shown so columns stay put,
// and the tab's background showing through.
QScrollArea* recordListScroll(QWidget* parent);
// The same for a list whose rows a delegate paints: scrolled by pixels, nothing selectable.
QListView* recordListView(QWidget* parent);

}  // namespace DashboardStyle
