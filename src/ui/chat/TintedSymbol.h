#pragma once

#include <QColor>
#include <QWidget>

// One bundled symbol in one colour, at a fixed size.
class TintedSymbol : public QWidget {
    Q_OBJECT
public:
    TintedSymbol(QString name, int size, QWidget* parent = nullptr);

    const QString& name() const { return m_name; }
    void setName(const QString& name);
    const QColor& color() const { return m_color; }
    void setColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_name;
    QColor m_color;
};
