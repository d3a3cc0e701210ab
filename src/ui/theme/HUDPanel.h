#pragma once

#include "ui/theme/ThemeBinding.h"

#include <QColor>
#include <QImage>
#include <QWidget>
#include <optional>

class ThemeManager;

// The framed instrument panel: layered surface fill, optional circuit texture, a border and
// corner brackets drawn over the contents. Adds no padding and does not clip: give the panel a
// layout (or children) with its own margins.
class HUDPanel : public QWidget {
    Q_OBJECT
public:
    explicit HUDPanel(ThemeManager& themes, QWidget* parent = nullptr);

    ThemeBinding& themeBinding() { return m_theme; }
    const PaletteTheme& theme() const { return m_theme.theme(); }

    qreal cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(qreal radius);
    // The bracket colour; absent: the palette's accent.
    std::optional<QColor> accent() const { return m_accent; }
    void setAccent(std::optional<QColor> accent);
    bool showCircuit() const { return m_showCircuit; }
    void setShowCircuit(bool show);

    // Bracket colour for a palette: the panel's accent when given, else the palette's, at 0.55.
    static QColor bracketColor(const std::optional<QColor>& accent, const PaletteTheme& theme);
    static void paintBackground(QPainter& p, const QRectF& area, qreal cornerRadius, bool showCircuit, const PaletteTheme& theme);
    // Copies what `image` (drawn over the whole widget at its pixel ratio) holds under `region`,
    // unscaled and one rectangle at a time. An image copied so stays on this thread; the
    // translucent, textured and gradient fills it holds, drawn afresh, and an image copied into
    // a region of several rectangles, are handed by the rasteriser to its worker threads.
    static void copyRegion(QPainter& p, const QImage& image, const QRegion& region);

protected:
    void paintEvent(QPaintEvent*) override;
    bool event(QEvent* e) override;

private:
    class Frame;
    ThemeBinding m_theme;
    qreal m_cornerRadius = 14;
    std::optional<QColor> m_accent;
    bool m_showCircuit = true;
    Frame* m_frame = nullptr;
    QImage m_background;  // paintBackground at this size, pixel ratio and look
    QString m_backgroundKey;
};
