#pragma once

#include "ui/settings/SettingsEnvironment.h"
#include "ui/settings/SettingsView.h"

#include <QObject>
#include <QPointer>



// Owns the settings window: one window, built when first asked for and brought forward when
// asked for again. A closed window is destroyed; the next one starts on Profiles.
class SettingsWindowController : public QObject {
    Q_OBJECT
public:
    static inline const QString windowTitle = QStringLiteral("Settings — Veltranmoor AI");
    static constexpr QSize defaultWindowSize{860, 640};

    explicit SettingsWindowController(const SettingsEnvironment& env, QObject* parent = nullptr);
    ~SettingsWindowController() override;

    SettingsView* window() const { return m_window; }
    void open();

private:
    SettingsEnvironment m_env;
    QPointer<SettingsView> m_window;
};
