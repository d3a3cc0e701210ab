#pragma once

#include <QColor>
#include <QWidget>

// The small "VRAX" badge with its antenna symbol, drawn in one colour, that the sidebar shows
// while the remote-control link is switched on.
class VRAXConnectedBadge : public QWidget {
    Q_OBJECT
public:
    explicit VRAXConnectedBadge(const QColor& cyan, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor m_cyan;
};
