#include "ui/shell/DesktopHUDController.h"

DesktopHUDController::~DesktopHUDController() { delete m_panel; }

void DesktopHUDController::show()
{
    if (!m_panel) {
        m_panel = new QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        m_panel->setObjectName(QStringLiteral("DesktopHUDPanel"));
        m_panel->setWindowTitle(QStringLiteral("Veltranmoor HUD"));
        m_panel->resize(320, 420);
    }
    m_panel->show();
    m_panel->raise();
}

void DesktopHUDController::hide()
{
    if (m_panel) m_panel->hide();
}

void DesktopHUDController::toggle()
{
    if (isPanelVisible())
        hide();
    else
        show();
}
