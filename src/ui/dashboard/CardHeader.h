#pragma once

#include <QHBoxLayout>
#include <QWidget>

class SymbolView;
class TextView;

// The header row of a status card: its symbol and its upper-case title in the card's colour;
// trailing() holds what some cards show at the right.
class CardHeader : public QWidget {
    Q_OBJECT
public:
    CardHeader(const QString& symbol, const QString& title, QWidget* parent = nullptr);

    // The symbol in `color`, the title in it at 0.8.
    void setColor(const QColor& color);
    void setSymbol(const QString& symbol);
    QHBoxLayout* trailing() { return m_trailing; }
    QString title() const;

private:
    SymbolView* m_symbol;
    TextView* m_title;
    QHBoxLayout* m_trailing;
};
