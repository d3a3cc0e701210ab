#pragma once

#include "ui/theme/PaletteTheme.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionViewItem>

// What both recovery lists draw first in a row: smooth edges and text, and under a selected or
// hovered row a rounded plate in the palette.
inline void paintRecoveryRowPlate(QPainter& p, const QStyleOptionViewItem& option, const PaletteTheme& theme)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const bool selected = option.state & QStyle::State_Selected;
    if (!selected && !(option.state & QStyle::State_MouseOver)) return;
    QPainterPath plate;
    plate.addRoundedRect(QRectF(option.rect).adjusted(4, 2, -4, -2), 7, 7);
    p.fillPath(plate, selected ? withOpacity(theme.accent, 0.28) : withOpacity(theme.surfaceElevated, 0.8));
}
