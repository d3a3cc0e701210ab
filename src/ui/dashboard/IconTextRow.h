#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

class SymbolView;
class TextView;

// A symbol and a line of text side by side in one colour (the Overview's warnings, the
// sidebar's status rows).
class IconTextRow : public QWidget {
    Q_OBJECT
public:
    IconTextRow(const QString& symbol, qreal symbolSide, const QFont& font, const QColor& color, int spacing = 4,
                QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    void setSymbolColor(const QColor& color);
    void setElides(bool elides);

private:
    SymbolView* m_symbol;
    TextView* m_text;
    QColor m_color;
};
