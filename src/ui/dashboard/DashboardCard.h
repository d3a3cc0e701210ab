#pragma once

#include "ui/theme/ThemeBinding.h"

#include <QVBoxLayout>
#include <QWidget>

class ThemeManager;

// The frame every dashboard card shares: the content padded, on the palette's surface, in a
// rounded rectangle stroked in its border. Put the card's rows in content().
class DashboardCard : public QWidget {
    Q_OBJECT
public:
    DashboardCard(ThemeManager& themes, int padding, int spacing, QWidget* parent = nullptr);

    QVBoxLayout* content() { return m_layout; }
    const PaletteTheme& theme() const { return m_theme.theme(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ThemeBinding m_theme;
    QVBoxLayout* m_layout;
};
