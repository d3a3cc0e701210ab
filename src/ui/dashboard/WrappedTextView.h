#pragma once

#include <QColor>
#include <QWidget>

// Text wrapped over at most a number of lines; what does not fit ends the last line with an
// ellipsis.
class WrappedTextView : public QWidget {
    Q_OBJECT
public:
    WrappedTextView(const QString& text, const QFont& font, const QColor& color, int maxLines,
                    QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    // The lines as drawn at `width` (the last one elided when needed).
    QStringList linesFor(int width) const;
    static QStringList wrap(const QString& text, const QFont& font, int width, int maxLines);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_text;
    QColor m_color;
    int m_maxLines;
};
