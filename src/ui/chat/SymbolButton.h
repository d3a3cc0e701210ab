#pragma once

#include <QAbstractButton>
#include <QColor>

// A plain button that is only a symbol: no frame, no fill.
class SymbolButton : public QAbstractButton {
    Q_OBJECT
public:
    SymbolButton(QString symbol, int size, QWidget* parent = nullptr);

    const QString& symbol() const { return m_symbol; }
    const QColor& color() const { return m_color; }
    void setColor(const QColor& color);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_symbol;
    int m_size;
    QColor m_color;
};
