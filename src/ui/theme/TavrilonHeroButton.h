#pragma once

#include "ui/theme/Shadow.h"
#include "ui/theme/SpringValue.h"
#include "ui/theme/ThemeBinding.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <optional>

class FrameTicker;
class ThemeManager;

// The bright call-to-action: the palette's stops as fill, an edge chosen by the palette's button
// skin, a light sheen that sweeps across while hovered or busy. While busy it is disabled, dimmed
// and shows a pulsing hourglass. clicked() is the action; the owner sets busy while it runs.
class TavrilonHeroButton : public QAbstractButton {
    Q_OBJECT
public:
    TavrilonHeroButton(ThemeManager& themes, QString title, std::optional<QString> subtitle, QString systemImage,
                       QWidget* parent = nullptr);

    ThemeBinding& themeBinding() { return m_theme; }
    QString title() const { return m_title; }
    void setTitle(const QString& title);
    std::optional<QString> subtitle() const { return m_subtitle; }
    void setSubtitle(std::optional<QString> subtitle);
    QString systemImage() const { return m_systemImage; }
    void setSystemImage(const QString& name);
    bool isBusy() const { return m_busy; }
    void setBusy(bool busy);

    bool isHovering() const { return m_hovering; }
    bool isPressed() const { return isDown(); }
    // Horizontal position of the sheen in widths of the button, -1.2 ... 1.4.
    double sheen() const;
    bool sheenVisible() const { return m_hovering || m_busy; }
    double scale() const { return m_scale.value(); }
    bool isAnimating() const;

    // "title" or "title. subtitle".
    static QString accessibleLabel(const QString& title, const std::optional<QString>& subtitle);
    // The sheen at a time since it started: one sweep every 2.4 s, jumping back to -1.2.
    static double sheenAt(double seconds);
    // The resting size: 0.975 pressed, else 1.012 hovered, else 1.
    static double scaleFor(bool pressed, bool hovering);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void showEvent(QShowEvent*) override;
    bool hitButton(const QPoint& pos) const override;

private:
    void restyle(double response);
    QRectF shapeRect() const;

    ThemeBinding m_theme;
    QString m_title;
    std::optional<QString> m_subtitle;
    QString m_systemImage;
    bool m_busy = false;
    bool m_hovering = false;
    SpringValue m_scale{0.28, 0.7, 1.0};
    QElapsedTimer m_sheenClock;
    FrameTicker* m_ticker;
    Shadow::Cache m_shadow;
};
