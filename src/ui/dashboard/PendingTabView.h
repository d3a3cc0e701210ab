#pragma once

#include "ui/dashboard/DashboardTab.h"
#include "ui/theme/ThemeBinding.h"

#include <QWidget>

class ThemeManager;

// The content of a tab whose own view has not been built yet: its symbol and its title, in the
// section-title style, and nothing that pretends to work.
class PendingTabView : public QWidget {
    Q_OBJECT
public:
    PendingTabView(ThemeManager& themes, DashboardTab tab, QWidget* parent = nullptr);
    DashboardTab tab() const { return m_tab; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ThemeBinding m_theme;
    DashboardTab m_tab;
};
