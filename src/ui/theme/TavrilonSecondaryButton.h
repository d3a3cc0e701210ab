#pragma once

#include "ui/theme/ThemeBinding.h"

#include <QAbstractButton>

class ThemeManager;

// A quiet full-width button: icon and title on a raised surface whose edge lights up with the
// palette's stops under the pointer; faded while disabled. clicked() is the action.
class TavrilonSecondaryButton : public QAbstractButton {
    Q_OBJECT
public:
    TavrilonSecondaryButton(ThemeManager& themes, const QString& title, QString systemImage, QWidget* parent = nullptr);

    ThemeBinding& themeBinding() { return m_theme; }
    QString systemImage() const { return m_systemImage; }
    void setSystemImage(const QString& name);
    bool isHovering() const { return m_hovering; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    ThemeBinding m_theme;
    QString m_systemImage;
    bool m_hovering = false;
};
