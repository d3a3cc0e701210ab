#pragma once

#include "ui/settings/SettingsEnvironment.h"

#include <QPalette>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QSlider;
class QVBoxLayout;
class Segmented;
class Stepper;
class TavrilonToggle;

// What the pages keep while their settings view lives (each view starts them afresh).
struct SettingsViewState {
    QString newProtectedProcess;
    QString newBoundaryPath;
    int boundaryPathsRefreshTick = 0;
    bool confirmRestore = false;
    bool confirmClear = false;
    bool confirmUninstall = false;
    quint64 storedBytes = 0;
};

// One page of the settings window. Its controls are bound to the stores: each control writes
// through at once, and every binding is read again whenever a store announces a change (also a
// change made outside the window, in the file), so no page keeps a copy of a setting.
class SettingsPage : public QWidget {
    Q_OBJECT
public:
    SettingsPage(const SettingsEnvironment& env, SettingsViewState& state, QWidget* parent = nullptr);

    // Reads every binding again.
    void refresh();

protected:
    const SettingsEnvironment& env() const { return m_env; }
    SettingsViewState& state() const { return m_state; }
    QVBoxLayout* rows() const { return m_rows; }
    // Runs on every refresh (and once now).
    void onRefresh(std::function<void()> update);
    // Refreshes when `sender` emits `signal`.
    template <typename Sender, typename Signal>
    void refreshOn(Sender* sender, Signal signal)
    {
        connect(sender, signal, this, [this] { refresh(); });
    }
    bool refreshing() const { return m_refreshing; }
    // Runs a user's change of a store, then makes sure the page shows it (one refresh).
    void write(const std::function<void()>& store);

    // Bound controls; `name` is the control's object name (its settings key, where it has one).
    TavrilonToggle* toggle(const QString& name, std::function<bool()> get, std::function<void(bool)> set);
    QWidget* toggleRow(const QString& name, const QString& title, const QString& caption, std::function<bool()> get,
                       std::function<void(bool)> set, TavrilonToggle** out = nullptr);
    QSlider* slider(const QString& name, double minimum, double maximum, double step, std::function<double()> get,
                    std::function<void(double)> set);
    Stepper* stepper(const QString& name, qint64 minimum, qint64 maximum, qint64 step,
                     std::function<qint64()> get, std::function<void(qint64)> set,
                     std::function<QString(qint64)> label);
    Segmented* segmented(const QString& name, const QStringList& labels, int width, std::function<int()> get,
                         std::function<void(int)> set);
    // A field that stores every edit.
    QLineEdit* field(const QString& name, QLineEdit* edit, std::function<QString()> get,
                     std::function<void(const QString&)> set);
    QLabel* liveText(QLabel* label, std::function<QString()> get);
    void visibleWhen(QWidget* widget, std::function<bool()> condition);
    void enabledWhen(QWidget* widget, std::function<bool()> condition, bool dim = false);
    // A column whose rows are built again on every refresh. Old rows are hidden and deleted
    // later, never under the click that changed them.
    QWidget* rebuilt(int spacing, std::function<void(QWidget* host, QVBoxLayout* column)> fill);
    // Fills the card or stack's divider with the palette's border.
    QWidget* divider();
    QColor accent() const;

private:
    const SettingsEnvironment& m_env;
    SettingsViewState& m_state;
    QVBoxLayout* m_rows;
    std::vector<std::function<void()>> m_updates;
    bool m_refreshing = false;
    quint64 m_refreshes = 0;
};

// Colours one role of a widget's palette, leaving it alone when it has that colour already.
void setInk(QWidget* widget, QPalette::ColorRole role, const QColor& color);

// A page's builders (one per file). Each returns its rows in order, stacked with spacing 20.
SettingsPage* makeProfilesPage(const SettingsEnvironment& env, SettingsViewState& state);
SettingsPage* makeGeneralPage(const SettingsEnvironment& env, SettingsViewState& state);
SettingsPage* makePermissionsPage(const SettingsEnvironment& env, SettingsViewState& state);
SettingsPage* makeAppearancePage(const SettingsEnvironment& env, SettingsViewState& state);
SettingsPage* makeAutoPilotPage(const SettingsEnvironment& env, SettingsViewState& state);
SettingsPage* makeAutomationPage(const SettingsEnvironment& env, SettingsViewState& state);
SettingsPage* makeAssistantPage(const SettingsEnvironment& env, SettingsViewState& state);
SettingsPage* makeMyDataPage(const SettingsEnvironment& env, SettingsViewState& state);
SettingsPage* makeThresholdsPage(const SettingsEnvironment& env, SettingsViewState& state);
SettingsPage* makeProtectedProcessesPage(const SettingsEnvironment& env, SettingsViewState& state);
SettingsPage* makeAIShieldPage(const SettingsEnvironment& env, SettingsViewState& state);
SettingsPage* makeVRAXPage(const SettingsEnvironment& env, SettingsViewState& state);
SettingsPage* makeAboutPage(const SettingsEnvironment& env, SettingsViewState& state);
