#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

// One line of text in a font and a colour; a line longer than the space it gets is cut with an
// ellipsis rather than widening its column.
class TextView : public QWidget {
    Q_OBJECT
public:
    TextView(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    void setAlignment(Qt::Alignment alignment);
    // Whether the widget may be narrower than its text (then the text is elided).
    void setElides(bool elides);
    // Where a cut line loses its characters (the end, unless set).
    void setElideMode(Qt::TextElideMode mode);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_text;
    QColor m_color;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool m_elides = false;
    Qt::TextElideMode m_elideMode = Qt::ElideRight;
};
