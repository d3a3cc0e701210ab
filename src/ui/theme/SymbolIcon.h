#pragma once

#include <QBrush>
#include <QPainter>
#include <QRectF>
#include <QString>

// The symbols the views name ("flame.fill", "chevron.right", ...) as bundled SVG icons in the
// ":/icons" resource, painted as a mask filled with any brush.
class SymbolIcon {
public:
    static QString resourcePath(const QString& name);
    static bool exists(const QString& name);

    // Paints the symbol centred in `box` (aspect kept), filled with `brush` in painter coordinates.
    // A name without an icon paints nothing.
    static void paint(QPainter& p, const QRectF& box, const QString& name, const QBrush& brush);
};
