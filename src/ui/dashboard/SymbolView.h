#pragma once

#include <QColor>
#include <QWidget>

// A named symbol drawn in one colour, centred in a square of the given side.
class SymbolView : public QWidget {
    Q_OBJECT
public:
    SymbolView(const QString& name, qreal side, const QColor& color, QWidget* parent = nullptr);

    QString name() const { return m_name; }
    void setName(const QString& name);
    void setColor(const QColor& color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_name;
    qreal m_side;
    QColor m_color;
};
