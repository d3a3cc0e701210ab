#pragma once

#include <QColor>
#include <QWidget>

// A modal sheet inside a window: it covers its parent with a dim scrim, eats the clicks meant
// for what lies below and shows one sheet centred near the top. A click on the scrim outside
// the sheet is the "other" way of dismissing it, reported by outsideClicked().
class SheetOverlay : public QWidget {
    Q_OBJECT
public:
    SheetOverlay(QWidget* sheet, QWidget* parent);

    QWidget* sheet() const { return m_sheet; }
    void setScrim(const QColor& color);

Q_SIGNALS:
    void outsideClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void place();

    QWidget* m_sheet;
    QColor m_scrim = QColor(0, 0, 0, 130);
};

// The card every sheet is drawn on: the palette's background in a rounded frame of its border.
void paintSheetCard(QWidget* sheet, const QColor& background, const QColor& border);
