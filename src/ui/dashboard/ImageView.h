#pragma once

#include <QWidget>

class QSvgRenderer;

// A bundled picture (an SVG in the icon resource, in its own colours) scaled to fit a fixed
// frame with its aspect kept.
class ImageView : public QWidget {
    Q_OBJECT
public:
    ImageView(const QString& name, QSize frame, double opacity = 1.0, QWidget* parent = nullptr);
    bool isValid() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QSvgRenderer* m_renderer;
    double m_opacity;
};
