#pragma once

#include <QAbstractButton>
#include <QColor>

// One tab button of the sidebar: symbol, title and, from 1 up, a count in a pill. The
// selected one is white on a tint of the accent with a thin accent outline; the others grey.
// Keyboard focus is a dashed light ring without a fill, so a focused button never looks
// selected; Return, Enter and Space open its tab.
class SidebarButton : public QAbstractButton {
    Q_OBJECT
public:
    SidebarButton(const QString& icon, const QString& label, QWidget* parent = nullptr);

    QString icon() const { return m_icon; }
    QString label() const { return m_label; }
    bool isSelected() const { return m_selected; }
    QColor accentColor() const { return m_accent; }
    qsizetype badge() const { return m_badge; }
    bool showsBadge() const { return m_badge >= 1; }

    void setSelected(bool selected);
    void setAccentColor(const QColor& color);
    void setBadge(qsizetype badge);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_icon;
    QString m_label;
    bool m_selected = false;
    QColor m_accent;
    qsizetype m_badge = 0;
};
