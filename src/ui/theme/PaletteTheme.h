#pragma once

#include "ui/theme/ButtonSkin.h"
#include "ui/theme/GaugeStyle.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QList>
#include <QString>
#include <optional>

// The monospaced body font of a palette. Kept as a description and resolved when drawing, so a
// palette built before the application object still gets the real system font.
struct MonoFont {
    enum Weight { regular, medium, bold };
    Weight weight = regular;

    // The system fixed font at the body size, with this palette's weight.
    QFont font() const;
    // The same font with another weight, for figures that ask for their own (gauge labels).
    QFont font(QFont::Weight weightOverride) const;

    friend bool operator==(const MonoFont&, const MonoFont&) = default;
};

// One palette of the catalogue. Views never keep colours: they read these fields each time they
// draw, so a new choice shows everywhere at once. Two palettes are the same when their ids are.
struct PaletteTheme {
    QString id;
    QString name;
    QString tagline;
    QColor background;
    QColor surface;
    QColor surfaceElevated;
    QColor border;
    QColor accent;
    QColor accentSecondary;
    QColor accentGlow;
    QColor text;
    QColor textDim;
    QColor textBright;
    QColor success;
    QColor warning;
    QColor danger;
    QColor mono;
    MonoFont monoFont;
    QColor metricCPU;
    QColor metricMemory;
    QColor metricDisk;
    QColor metricThermal;
    QColor metricNetwork;
    bool enableScanLines = false;
    bool enableNeonGlow = false;
    GaugeStyle gaugeStyle = GaugeStyle::classic;
    std::optional<QList<QColor>> gradientStops;  // absent in a flat palette
    ButtonSkin buttonSkin = ButtonSkin::gradient;

    // The gradient colours controls draw with: the stops, or accent then accentSecondary.
    QList<QColor> stops() const;
    // The first of stops(); clear when a palette's stops are an empty list.
    QColor firstStop() const;

    // The catalogue in display order, built once.
    static const QList<PaletteTheme>& all();
    // The palette with exactly this id (case-sensitive), or nullptr.
    static const PaletteTheme* find(const QString& id);

    static const PaletteTheme& ember();
    static const PaletteTheme& circuit();
    static const PaletteTheme& hud();
    static const PaletteTheme& pro();
    static const PaletteTheme& abyss();
    static const PaletteTheme& sovereign();
    static const PaletteTheme& crv();
    static const PaletteTheme& qlx();
    static const PaletteTheme& orlu();
    static const PaletteTheme& orluLight();
    static const PaletteTheme& crvLight();
    static const PaletteTheme& daylight();
    static const PaletteTheme& stark();
    static const PaletteTheme& fireside();
    static const PaletteTheme& aurora();
    static const PaletteTheme& solaris();
    static const PaletteTheme& nebula();
    static const PaletteTheme& titanium();
    static const PaletteTheme& verdant();
    static const PaletteTheme& obsidianFlux();
    static const PaletteTheme& quantum();
    static const PaletteTheme& meridian();

    friend bool operator==(const PaletteTheme& a, const PaletteTheme& b) { return a.id == b.id; }
};

// Every view takes its palette as a Theme; PaletteTheme is the only kind there is.
using Theme = PaletteTheme;

// The colour with its opacity multiplied by `opacity` (a palette colour "at 0.5").
QColor withOpacity(const QColor& color, double opacity);

// A linear gradient over `colors`, evenly spaced from `from` to `to`; one colour paints plain,
// none paints clear.
QBrush stopsBrush(const QList<QColor>& colors, QPointF from, QPointF to);

// The system font at a size given in points of the layout (logical pixels), with a weight.
QFont systemFont(qreal size, QFont::Weight weight = QFont::Normal);
