#pragma once

#include "optimisation/PerformanceMode.h"
#include "ui/theme/Shadow.h"
#include "ui/theme/ThemeBinding.h"

#include <QList>
#include <QRectF>
#include <QWidget>

class ThemeManager;

// One equal-width icon button per performance mode; the selected one is filled with the
// palette's stops. A selection that is not among the modes highlights none.
class TavrilonModePicker : public QWidget {
    Q_OBJECT
public:
    TavrilonModePicker(ThemeManager& themes, QList<PerformanceMode> modes, PerformanceMode selection, QWidget* parent = nullptr);

    ThemeBinding& themeBinding() { return m_theme; }
    const QList<PerformanceMode>& modes() const { return m_modes; }
    PerformanceMode selection() const { return m_selection; }
    // Sets the selection without announcing it (the owner's own value coming back).
    void setSelection(PerformanceMode mode);
    int highlightedIndex() const;

    static QString iconName(PerformanceMode mode);
    // The buttons across a width: equal shares with 4 between them.
    static QList<QRectF> buttonRects(const QRectF& area, qsizetype count);
    QRectF buttonsArea() const;

    QSize sizeHint() const override;

Q_SIGNALS:
    // The user picked a mode.
    void selectionChanged(PerformanceMode mode);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    bool event(QEvent*) override;

private:
    int indexAt(QPointF pos) const;

    ThemeBinding m_theme;
    QList<PerformanceMode> m_modes;
    PerformanceMode m_selection;
    int m_pressed = -1;
    Shadow::Cache m_shadow;
};
