#pragma once

#include "ui/theme/ThemeBinding.h"

#include <QWidget>

class ActionGate;
class ThemeManager;

// The chat header's outlined tag: "SAFE" or "YOLO ARMED", following the gate's flag whoever
// changes it.
class YoloBadge : public QWidget {
    Q_OBJECT
public:
    YoloBadge(ActionGate& gate, ThemeManager& themes, QWidget* parent = nullptr);

    QString label() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QFont labelFont() const;

    ActionGate& m_gate;
    ThemeBinding m_theme;
};
