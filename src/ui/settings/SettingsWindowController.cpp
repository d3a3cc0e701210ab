#include "ui/settings/SettingsWindowController.h"

#include "ui/settings/SettingsView.h"
#include "ui/WindowFit.h"

SettingsWindowController::SettingsWindowController(const SettingsEnvironment& env, QObject* parent)
    : QObject(parent), m_env(env)
{
}

SettingsWindowController::~SettingsWindowController() { delete m_window; }

void SettingsWindowController::open()
{
    if (!m_window) {
        auto* window = new SettingsView(m_env);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setObjectName(QStringLiteral("settings-window"));
        window->setWindowTitle(windowTitle);
        WindowFit::fit(*window, defaultWindowSize, SettingsView::minimumWindowSize);
        m_window = window;
    }
    m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
}
