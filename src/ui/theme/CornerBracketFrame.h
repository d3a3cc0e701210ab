#pragma once

#include <QColor>
#include <QList>
#include <QPainter>
#include <QPolygonF>
#include <QWidget>
#include <optional>

// Four corner brackets, with an optional hairline frame and the neon glow. Never takes a click.
class CornerBracketFrame : public QWidget {
    Q_OBJECT
public:
    struct Style {
        QColor color;
        qreal cornerRadius = 12;
        qreal bracketLength = 12;
        qreal lineWidth = 1.4;
        qreal inset = 2;
        std::optional<QColor> hairline;  // absent: no frame
        std::optional<QColor> glow;      // absent: the bracket colour
        bool enableGlow = false;

        friend bool operator==(const Style&, const Style&) = default;
    };

    explicit CornerBracketFrame(QWidget* parent = nullptr);
    void setStyle(const Style& style);
    const Style& style() const { return m_style; }

    // The four open polylines, top-left, top-right, bottom-right, bottom-left.
    static QList<QPolygonF> brackets(const QSizeF& size, qreal inset, qreal length);
    static QColor glowColor(const Style& style);
    static void paint(QPainter& p, const QRectF& area, const Style& style);
    // The frame with its glow as an image the size of `size` at `dpr`, for owners that repaint
    // often and keep it until the size or style changes.
    static QImage render(const QSizeF& size, const Style& style, qreal dpr);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Style m_style;
    QImage m_cache;
};
