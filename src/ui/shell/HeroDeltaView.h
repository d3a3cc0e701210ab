#pragma once

#include "actions/Epitope.h"
#include "actions/MeasuredOutcome.h"
#include "ui/theme/Shadow.h"
#include "ui/theme/ThemeBinding.h"

#include <QAbstractButton>
#include <QImage>

#include <array>
#include <functional>
#include <QPointer>
#include <QWidget>

#include <optional>

class AppSettings;
class EpitopeLibrary;
class FrameTicker;
class ReversibleShell;
class ThemeManager;
struct PaletteTheme;

struct HeroDeltaDeps {
    EpitopeLibrary& library;
    ThemeManager& themes;
    ReversibleShell& shell;
    AppSettings& settings;  // units of the before-and-after line
};

// The HUD's measured-outcome card: the last measured improvement as a large gold number with
// its before and after, a grey floor when it was no improvement, or a dormant floor before the
// first one. Hovering it while the measured change can still be reverted shows "Revert"; the
// pull tab opens the learned track record of every action kind.
class HeroDeltaView : public QWidget {
    Q_OBJECT
public:
    enum class State { gold, greyFloor, dormant };
    struct TrackRow {
        QString name;
        QString status;
        QColor color;
    };

    explicit HeroDeltaView(HeroDeltaDeps deps, QWidget* parent = nullptr);

    // The slow swells redraw three times a second: each lasts seconds and moves the dim texts
    // by a few grey levels per frame, while every frame wakes the whole process.
    static constexpr int breathFrameMs = 333;

    static State state(const std::optional<MeasuredOutcome>& hero);
    // "gold-" and the delta text, "grey-floor" or "dormant": a new identity replaces the content.
    static QString identity(const std::optional<MeasuredOutcome>& hero);
    // The floor's two lines; empty for the gold card.
    static QString floorTitle(State state);
    static QString floorCaption(State state);
    static QColor nullGrey() { return QColor(0x4a, 0x4a, 0x4a); }
    // "retired", "learning…" below three outcomes, else the truncated success rate and "%".
    static QString statusWord(const Epitope& epitope);
    static QColor stateColor(EpitopeState state, const PaletteTheme& palette);
    static QList<TrackRow> trackRows(const QList<Epitope>& sorted, const PaletteTheme& palette);

    State currentState() const;
    // The outcome shown: the library's, or one pinned by the owner (a preview of a state).
    std::optional<MeasuredOutcome> hero() const;
    void pinOutcome(std::optional<MeasuredOutcome> outcome);
    QAbstractButton* revertButton() const { return m_revert; }
    QAbstractButton* pullTab() const { return m_pullTab; }
    // The track record popover while it is open.
    QWidget* trackRecord() const { return m_popover; }
    // The Revert button's action: the pending revert's undo, once; the card goes dormant.
    void revert();
    void toggleTrackRecord();

    QSize sizeHint() const override;

    // What the owner shows under the card, drawn into `area` (card coordinates) by `draw`,
    // which sets every pixel there (what an earlier frame left is replaced). With one, the card
    // paints its whole area itself, so a frame of its own animation redraws nothing beneath
    // it. None: the card is drawn over its parent as usual.
    using Backdrop = std::function<void(QPainter& painter, const QRect& area)>;
    void setBackdrop(Backdrop draw);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    class RevertButton;
    class PullTab;
    class TrackRecord;
    void heroChanged();
    void syncRevert();
    bool tick(double dt);
    bool breathe(double dt);
    void paintGold(QPainter& p, const QRectF& area, const MeasuredOutcome& hero, const PaletteTheme& t);
    void paintFloor(QPainter& p, const QRectF& area, State state);

    HeroDeltaDeps m_d;
    ThemeBinding m_theme;
    Backdrop m_backdrop;
    bool m_hovering = false;
    QString m_identity;
    // Transitions: the new content fades and scales in; the floor rises once; the sheen sweeps.
    double m_appear = 1;
    double m_dormantIn = 0;
    bool m_floorShown = false;
    double m_sheenX = -1;
    bool m_sheenRunning = false;
    // Slow phases of the breathing glow and of the floor, in seconds.
    double m_breathClock = 0;
    bool m_breathe = false;
    bool m_dormantBreath = false;
    FrameTicker* m_transitions;
    FrameTicker* m_breathing;
    QAbstractButton* m_revert = nullptr;
    QAbstractButton* m_pullTab = nullptr;
    QPointer<QWidget> m_popover;
    std::optional<std::optional<MeasuredOutcome>> m_pinned;
    // The gold number's glow, blurred once per text, size and palette.
    QImage m_glowCache;
    QString m_glowKey;
    // The resting shadow under the number of a palette without glow.
    Shadow::Cache m_restingShadow;
    // What a breathing frame redraws, drawn once per text, size and palette: the gold number
    // with its shadow, or the floor's title and caption. Only their opacities change between
    // frames, so a frame copies these and repaints only the area they cover.
    struct Layer {
        QImage image;
        QPoint at;
    };
    Layer m_number;
    Layer m_floorTitle;
    Layer m_floorCaption;
    struct LayerKey {
        QString content;  // what is drawn: the floor's title, or the gold text and palette
        QSize size;
        qreal dpr = 0;
        bool operator==(const LayerKey&) const = default;
    };
    LayerKey m_layerKey;
    QRect m_layerArea;   // what the floor's two layers cover
    QRect m_breathArea;  // where the breathing shows, for the next frame
    std::array<int, 3> m_breathShown{-1, -1, -1};  // the breathing phases the last frame drew
};
