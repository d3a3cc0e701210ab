#pragma once

#include "assistant/HUDMiniChat.h"
#include "ui/shell/HUDReadout.h"
#include "ui/shell/QuickOptimizer.h"
#include "ui/chat/SymbolButton.h"
#include "ui/theme/ThemeBinding.h"

#include <QAbstractButton>
#include <QImage>
#include <QWidget>

#include <functional>

class AIEngine;
class AppSettings;
class AnimatedWaveform;
class EpitopeLibrary;
class HeroDeltaView;
class HexGauge;
class QLabel;
class QLineEdit;
class ReversibleShell;
class ScanLineOverlay;
class SymbolButton;
class TavrilonHeroButton;
class PerformanceMonitor;
class QPainter;
struct PaletteTheme;
class ThemeManager;

struct HUDWidgetDeps {
    PerformanceMonitor& monitor;
    AIEngine& ai;
    ThemeManager& themes;
    AppSettings& settings;
    EpitopeLibrary& epitopes;
    ReversibleShell& shell;
    // The mini chat's collaborators; the chat lives as long as this view.
    HUDMiniChat::Collaborators chat;
    // "Optimize Now"'s collaborators.
    QuickOptimizer::Collaborators optimize;
    // Brings up the dashboard when no dashboard window is open.
    std::function<void()> openDashboard;
    std::function<void()> openSettings;
    // The close button: hides the panel.
    std::function<void()> onClose;
};

// The desktop HUD's content, a 340-wide column: header with the live badge and the close
// button, the measured-outcome card, the live readout (dimmed while the card shows a real
// improvement), the learned state, the mini chat and the quick actions. It keeps only the
// chat and the last "Optimize Now" line; the rest is read from the shared managers whenever
// they publish.
class HUDWidgetView : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 340;
    static constexpr int padding = 16;

    explicit HUDWidgetView(HUDWidgetDeps deps, QWidget* parent = nullptr);
    ~HUDWidgetView() override;

    HUDReadout::Values values() const;
    // Whether the hero card shows an improvement that counts (the readout dims meanwhile).
    bool heroIsLive() const;
    // The readout's opacity now: 0.45 while the hero is live, 0.88 otherwise, animated between.
    double readoutOpacity() const;

    // Fronts the first window titled "...Dashboard..." or identified "...detailed-dashboard...";
    // false when there is none.
    static bool frontDashboardWindow();
    void openDashboard();

    HeroDeltaView* hero() const { return m_hero; }
    HUDMiniChat& chat() { return *m_chat; }
    QuickOptimizer& optimizer() { return *m_optimizer; }
    QLineEdit* chatField() const { return m_field; }
    QAbstractButton* sendButton() const { return m_send; }
    QAbstractButton* closeButton() const { return m_close; }
    TavrilonHeroButton* optimizeButton() const { return m_optimize; }
    QAbstractButton* dashboardButton() const { return m_dashboard; }
    QAbstractButton* settingsButton() const { return m_settings; }
    QLabel* outcomeLine() const { return m_outcome; }
    // The visible transcript lines as drawn: "› " before the user's.
    QStringList visibleChatLines() const;
    // The readout's texts as drawn, one item a line (what a screen reader is given).
    QString readoutText() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent*) override;

private:
    class Header;
    class Tiles;
    class StatusTiles;
    class Trace;
    class Learned;
    class Transcript;
    class InputBox;
    class ReadoutGroup;
    void refresh();
    void syncChat();
    void syncOptimize();
    void submit();
    void paintFrame(QPainter& p, const PaletteTheme& palette);
    // The frame drawn for the current size and palette.
    const QImage& background();

    HUDWidgetDeps m_d;
    ThemeBinding m_theme;
    std::unique_ptr<HUDMiniChat> m_chat;
    std::unique_ptr<QuickOptimizer> m_optimizer;
    Header* m_header = nullptr;
    HeroDeltaView* m_hero = nullptr;
    ReadoutGroup* m_readout = nullptr;
    HexGauge* m_cpuGauge = nullptr;
    HexGauge* m_memGauge = nullptr;
    Tiles* m_tiles = nullptr;
    StatusTiles* m_status = nullptr;
    Trace* m_trace = nullptr;
    AnimatedWaveform* m_waveform = nullptr;
    Learned* m_learned = nullptr;
    Transcript* m_transcript = nullptr;
    InputBox* m_inputBox = nullptr;
    QLineEdit* m_field = nullptr;
    SymbolButton* m_send = nullptr;
    SymbolButton* m_close = nullptr;
    TavrilonHeroButton* m_optimize = nullptr;
    QAbstractButton* m_dashboard = nullptr;
    QAbstractButton* m_settings = nullptr;
    QLabel* m_outcome = nullptr;
    ScanLineOverlay* m_scanLines = nullptr;
    QImage m_background;
    QString m_backgroundKey;
    // What the panes last drew; a pane whose part is unchanged is not redrawn.
    std::optional<HUDReadout::Values> m_shown;
    bool m_restyle = false;  // a new palette: every pane redraws
    bool m_stale = false;    // published while hidden
};
