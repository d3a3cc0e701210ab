#pragma once

#include "ui/theme/ThemeBinding.h"

#include <QWidget>
#include <optional>

class TavrilonToggle;
class ThemeManager;

// An icon, a title with an optional one-line detail, and a switch at the trailing edge. Only
// the switch takes clicks.
class TavrilonSwitchRow : public QWidget {
    Q_OBJECT
public:
    TavrilonSwitchRow(ThemeManager& themes, QString title, QString systemImage, std::optional<QString> detail,
                      QWidget* parent = nullptr);

    ThemeBinding& themeBinding() { return m_theme; }
    QString title() const { return m_title; }
    QString systemImage() const { return m_systemImage; }
    std::optional<QString> detail() const { return m_detail; }
    void setDetail(std::optional<QString> detail);
    bool isOn() const;
    void setOn(bool on);
    TavrilonToggle* toggle() const { return m_toggle; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

Q_SIGNALS:
    void toggled(bool on);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    ThemeBinding m_theme;
    QString m_title;
    QString m_systemImage;
    std::optional<QString> m_detail;
    TavrilonToggle* m_toggle;
};
