#include "ui/theme/PaletteTheme.h"

#include "ui/theme/ColorHex.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QScreen>
#include <array>

namespace {

// One row of the catalogue, as its colours are written down: "#RRGGBB", "white", "black",
// "brandGold", each optionally followed by "@opacity".
struct Row {
    const char* id;
    const char* name;
    const char* tagline;
    bool scanLines;
    bool neonGlow;
    GaugeStyle gauge;
    ButtonSkin skin;
    MonoFont::Weight monoWeight;
    // background, surface, surfaceElevated, border, accent, accentSecondary, accentGlow, text,
    // textDim, textBright, success, warning, danger, mono, metricCPU, metricMemory, metricDisk,
    // metricThermal, metricNetwork
    std::array<const char*, 19> colors;
    std::array<const char*, 3> stops;
    bool hasStops;
};

const std::array<Row, 22> rows = {{
    {"ember", "Ember", "Warm red and orange", false, false, GaugeStyle::classic, ButtonSkin::gradient, MonoFont::regular,
     {"#120809", "#1D0F0D", "#281512", "#FF6B35@0.18", "#FF4B2B", "#FF9F1C", "#FF4B2B", "#F2E4DE", "#9A8079", "white", "#4ADE80", "#FF9F1C", "#FF2E2E", "brandGold", "#FF6B35", "#FF3D6E", "#FFC300", "#FF4B2B", "#FFA552"},
     {}, false},
    {"circuit", "Circuit", "Emerald, silver, near-black", false, true, GaugeStyle::classic, ButtonSkin::gradient, MonoFont::regular,
     {"#05090A", "#0C1214", "#131C1F", "#C3CBD1@0.14", "#00E676", "#C3CBD1", "#00E676", "#DFE6E9", "#78868C", "white", "#00E676", "#E4B429", "#FF4D4D", "brandGold", "#00E676", "#7CE3C4", "#C3CBD1", "#E4B429", "#5FD8A8"},
     {}, false},
    {"hud", "HUD", "Cyber, neon, scan-line", true, true, GaugeStyle::hex, ButtonSkin::gradient, MonoFont::medium,
     {"#050714", "#0A0E1F", "#10162E", "#00D4FF@0.25", "#E91E8C", "#00D4FF", "#E91E8C", "#E0E6F0", "#7A8295", "white", "#00FF88", "#FFB800", "#FF2E63", "brandGold", "#00A2FF", "#C026D3", "#00FF88", "#FF8C00", "#00D4FF"},
     {}, false},
    {"pro", "Pro", "Clean, professional", false, false, GaugeStyle::classic, ButtonSkin::gradient, MonoFont::regular,
     {"#111111", "#1A1A1A", "#222222", "white@0.08", "brandGold", "#00B8D9", "brandGold", "#EDEDED", "#8A8A8A", "white", "#3DD68C", "#E8A33D", "#E5484D", "brandGold", "#4A90D9", "#8E7CC3", "#5CB176", "#D98E4A", "#00B8D9"},
     {}, false},
    {"abyss", "Abyss", "Ice blue, deep and calm", false, false, GaugeStyle::classic, ButtonSkin::gradient, MonoFont::regular,
     {"#030B14", "#07131F", "#0C1D2E", "#38BDF8@0.18", "#38BDF8", "#7DD3FC", "#38BDF8", "#DCE9F2", "#6E8598", "white", "#2DD4BF", "#FBBF24", "#F43F5E", "brandGold", "#38BDF8", "#818CF8", "#2DD4BF", "#FBBF24", "#7DD3FC"},
     {}, false},
    {"sovereign", "Sovereign", "Violet and gold", false, true, GaugeStyle::hex, ButtonSkin::gradient, MonoFont::medium,
     {"#0A0614", "#130C22", "#1C1232", "#A855F7@0.22", "#A855F7", "#F5C518", "#A855F7", "#E7DFF5", "#8A7BA8", "white", "#4ADE80", "#F5C518", "#FB7185", "#F5C518", "#A855F7", "#D946EF", "#F5C518", "#FB923C", "#C084FC"},
     {}, false},
    {"crv", "CRV", "Corvanne — black and gold", false, true, GaugeStyle::hex, ButtonSkin::gradient, MonoFont::medium,
     {"#0A0805", "#141008", "#1E180C", "#F5C518@0.3", "#F5C518", "#E8E4DC", "#F5C518", "#F2EDDF", "#A29878", "white", "#3DD68C", "#FFB020", "#FF3B30", "#F5C518", "#F5C518", "#E8E4DC", "#C9A227", "#FF8C42", "#D9D2C0"},
     {}, false},
    {"qlx", "QLX", "Blue, red and yellow", false, true, GaugeStyle::hex, ButtonSkin::gradient, MonoFont::medium,
     {"#06080F", "#0C111E", "#131A2C", "#2D6BFF@0.35", "#2D6BFF", "#FFD400", "#2D6BFF", "#EDF1FA", "#8791A8", "white", "#22C55E", "#FFD400", "#E5241D", "#FFD400", "#2D6BFF", "#E5241D", "#FFD400", "#FF7A1A", "#6EA0FF"},
     {}, false},
    {"orlu", "ORLU", "Emerald, black and purple", false, true, GaugeStyle::hex, ButtonSkin::gradient, MonoFont::medium,
     {"#040906", "#08120C", "#0D1C12", "#10E585@0.32", "#10E585", "#B26CFF", "#10E585", "#E4F5EA", "#6F8F7C", "white", "#10E585", "#EAC435", "#FF4D6D", "#10E585", "#10E585", "#B26CFF", "#5CF0B0", "#EAC435", "#7FE8C0"},
     {}, false},
    {"orlu-light", "ORLU Light", "Emerald and purple on white", false, false, GaugeStyle::classic, ButtonSkin::gradient, MonoFont::medium,
     {"#F7FBF8", "#FFFFFF", "#EEF6F0", "#0B9E5C@0.35", "#0B9E5C", "#7C3AED", "#0B9E5C", "#132A1C", "#5B7364", "#06140B", "#0B9E5C", "#B7791F", "#D62246", "#0B7A48", "#0B9E5C", "#7C3AED", "#0FBF72", "#C77C1B", "#2AA57A"},
     {}, false},
    {"crv-light", "CRV Light", "Gold on warm white", false, false, GaugeStyle::classic, ButtonSkin::gradient, MonoFont::medium,
     {"#FBF8F1", "#FFFFFF", "#F3EDDD", "#9A7B1C@0.38", "#9A7B1C", "#3B3528", "#C9A227", "#2A2415", "#7A6F52", "#141008", "#1E7F4F", "#B7791F", "#C0392B", "#8A6E18", "#9A7B1C", "#6B4FA3", "#1E7F4F", "#C2601A", "#3E6B8F"},
     {}, false},
    {"daylight", "Daylight", "Ice blue on white", false, false, GaugeStyle::classic, ButtonSkin::gradient, MonoFont::regular,
     {"#F5F9FC", "#FFFFFF", "#E8F1F8", "#0369A1@0.35", "#0369A1", "#0EA5E9", "#0EA5E9", "#0F2233", "#587891", "#071521", "#0D9488", "#B45309", "#DC2626", "#8A6E18", "#0369A1", "#7C3AED", "#0D9488", "#C2601A", "#0EA5E9"},
     {}, false},
    {"stark", "Stark", "Maximum contrast", false, false, GaugeStyle::classic, ButtonSkin::gradient, MonoFont::bold,
     {"black", "#0A0A0A", "#161616", "white@0.55", "white", "#00E5FF", "#00E5FF", "white", "#B8B8B8", "white", "#00FF6A", "#FFE600", "#FF2D2D", "white", "#00E5FF", "#FF2DDA", "#00FF6A", "#FFE600", "white"},
     {}, false},
    {"fireside", "Fireside", "Quellis's theme — midnight and amber", false, true, GaugeStyle::hex, ButtonSkin::gradient, MonoFont::medium,
     {"#0B0E1A", "#121628", "#1A1F38", "#FFA94D@0.26", "#FFA94D", "#8FB4FF", "#FF8A3D", "#EFE9DC", "#8B8AA0", "white", "#7BC96F", "#FFD166", "#EF6461", "#FFC078", "#FFA94D", "#8FB4FF", "#7BC96F", "#FF7B54", "#C8B8FF"},
     {}, false},
    {"aurora", "Aurora", "Polar green into violet", false, true, GaugeStyle::hex, ButtonSkin::holo, MonoFont::regular,
     {"#05070F", "#0A0F1C", "#111A2E", "#4CE0B3@0.2", "#4CE0B3", "#8B5CF6", "#4CE0B3", "#E4EDF5", "#7A8AA3", "white", "#4CE0B3", "#FFC857", "#FF5D73", "#7CF5D0", "#4CE0B3", "#5AA9FF", "#8B5CF6", "#FF7AB6", "#63E8FF"},
     {"#4CE0B3", "#3B9EFF", "#8B5CF6"}, true},
    {"solaris", "Solaris", "Molten gold through coral", false, true, GaugeStyle::classic, ButtonSkin::gradient, MonoFont::regular,
     {"#0D0704", "#170D07", "#22150C", "#FFB347@0.2", "#FFB347", "#FF5E62", "#FF8C42", "#F6E9DC", "#9C8674", "white", "#7BD88F", "#FFB347", "#FF4757", "#FFD27F", "#FF8C42", "#FFB347", "#FFD166", "#FF5E62", "#FFA07A"},
     {"#FFD166", "#FF8C42", "#FF5E62"}, true},
    {"nebula", "Nebula", "Magenta to cyan across indigo", true, true, GaugeStyle::hex, ButtonSkin::holo, MonoFont::regular,
     {"#08050F", "#110A1F", "#1B1030", "#FF4ECD@0.22", "#FF4ECD", "#22D3EE", "#FF4ECD", "#EDE6FA", "#8A7FA8", "white", "#3BE8B0", "#FFC93C", "#FF4757", "#F7A8FF", "#FF4ECD", "#A855F7", "#22D3EE", "#FF6B9D", "#60A5FA"},
     {"#FF4ECD", "#A855F7", "#22D3EE"}, true},
    {"titanium", "Titanium", "Brushed graphite, ice edge", false, false, GaugeStyle::classic, ButtonSkin::gradient, MonoFont::regular,
     {"#0B0D10", "#14181D", "#1D232A", "#9FB3C8@0.18", "#9FD2FF", "#C9D6E3", "#9FD2FF", "#E8EDF2", "#8695A5", "white", "#6EE7A8", "#F5C24C", "#FF6B6B", "#CFE4F7", "#9FD2FF", "#B8C6D4", "#7FB3D5", "#E88F7A", "#A8D8EA"},
     {"#C9D6E3", "#9FD2FF", "#6C93B8"}, true},
    {"verdant", "Verdant", "Deep forest into lime", false, true, GaugeStyle::classic, ButtonSkin::gradient, MonoFont::regular,
     {"#040A07", "#0A140E", "#101F16", "#7CE577@0.2", "#7CE577", "#0FB89B", "#7CE577", "#E2F2E6", "#7C9A85", "white", "#7CE577", "#FFD93D", "#FF6B6B", "#A8F0A0", "#7CE577", "#0FB89B", "#C5E86C", "#FFA630", "#4DD4AC"},
     {"#C5E86C", "#7CE577", "#0FB89B"}, true},
    {"obsidian-flux", "Obsidian Flux", "Violet core, crimson edge", true, true, GaugeStyle::hex, ButtonSkin::holo, MonoFont::regular,
     {"#050408", "#0D0A14", "#161020", "#A855F7@0.24", "#A855F7", "#F43F5E", "#A855F7", "#EDE9F7", "#857C9E", "white", "#34D399", "#FBBF24", "#F43F5E", "#D8B4FE", "#A855F7", "#7C3AED", "#F43F5E", "#FB7185", "#818CF8"},
     {"#6366F1", "#A855F7", "#F43F5E"}, true},
    {"quantum", "Quantum", "Electric cyan, deep blue", true, true, GaugeStyle::hex, ButtonSkin::holo, MonoFont::regular,
     {"#03070D", "#071119", "#0C1B27", "#22D3EE@0.22", "#22D3EE", "#2563EB", "#22D3EE", "#DDEEF7", "#6E8CA0", "white", "#2DD4BF", "#FACC15", "#FB7185", "#7DE8FA", "#22D3EE", "#3B82F6", "#0EA5E9", "#F472B6", "#67E8F9"},
     {"#67E8F9", "#22D3EE", "#2563EB"}, true},
    {"meridian", "Meridian", "Rose gold to deep plum", false, true, GaugeStyle::classic, ButtonSkin::gradient, MonoFont::regular,
     {"#0A0609", "#150C12", "#20131B", "#E8B4B8@0.2", "#E8B4B8", "#8E4162", "#E8B4B8", "#F4E7EC", "#9C8189", "white", "#7BD88F", "#F0C987", "#E5484D", "#F2C9CD", "#E8B4B8", "#C77DA0", "#F0C987", "#D96C75", "#B08BBB"},
     {"#F0C987", "#E8B4B8", "#8E4162"}, true},
}};

const QColor& brandGold()
{
    static const QColor gold = colorFromHex(u"#d4a843");
    return gold;
}

QColor cell(const char* text)
{
    const QString s = QString::fromLatin1(text);
    const qsizetype at = s.indexOf(u'@');
    const QString base = at < 0 ? s : s.left(at);
    QColor c;
    if (base == u"white") c = QColor(Qt::white);
    else if (base == u"black") c = QColor(Qt::black);
    else if (base == u"brandGold") c = brandGold();
    else c = colorFromHex(base);
    if (at >= 0) c.setAlphaF(s.mid(at + 1).toFloat());
    return c;
}

PaletteTheme build(const Row& r)
{
    const auto& c = r.colors;
    PaletteTheme p{
        .id = QString::fromUtf8(r.id),
        .name = QString::fromUtf8(r.name),
        .tagline = QString::fromUtf8(r.tagline),
        .background = cell(c[0]),
        .surface = cell(c[1]),
        .surfaceElevated = cell(c[2]),
        .border = cell(c[3]),
        .accent = cell(c[4]),
        .accentSecondary = cell(c[5]),
        .accentGlow = cell(c[6]),
        .text = cell(c[7]),
        .textDim = cell(c[8]),
        .textBright = cell(c[9]),
        .success = cell(c[10]),
        .warning = cell(c[11]),
        .danger = cell(c[12]),
        .mono = cell(c[13]),
        .monoFont = MonoFont{r.monoWeight},
        .metricCPU = cell(c[14]),
        .metricMemory = cell(c[15]),
        .metricDisk = cell(c[16]),
        .metricThermal = cell(c[17]),
        .metricNetwork = cell(c[18]),
        .enableScanLines = r.scanLines,
        .enableNeonGlow = r.neonGlow,
        .gaugeStyle = r.gauge,
        .gradientStops = std::nullopt,
        .buttonSkin = r.skin,
    };
    if (r.hasStops) p.gradientStops = QList<QColor>{cell(r.stops[0]), cell(r.stops[1]), cell(r.stops[2])};
    return p;
}

}  // namespace

QColor withOpacity(const QColor& color, double opacity)
{
    QColor c = color;
    c.setAlphaF(float(color.alphaF() * opacity));
    return c;
}

QFont MonoFont::font() const
{
    switch (weight) {
    case medium: return font(QFont::Medium);
    case bold: return font(QFont::Bold);
    case regular: break;
    }
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

QFont MonoFont::font(QFont::Weight weightOverride) const
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setWeight(weightOverride);
    return f;
}

QList<QColor> PaletteTheme::stops() const
{
    if (gradientStops) return *gradientStops;
    return {accent, accentSecondary};
}

QColor PaletteTheme::firstStop() const
{
    const QList<QColor> s = stops();
    return s.isEmpty() ? QColor(Qt::transparent) : s.first();
}

const PaletteTheme& PaletteTheme::ember() { static const PaletteTheme p = build(rows[0]); return p; }
const PaletteTheme& PaletteTheme::circuit() { static const PaletteTheme p = build(rows[1]); return p; }
const PaletteTheme& PaletteTheme::hud() { static const PaletteTheme p = build(rows[2]); return p; }
const PaletteTheme& PaletteTheme::pro() { static const PaletteTheme p = build(rows[3]); return p; }
const PaletteTheme& PaletteTheme::abyss() { static const PaletteTheme p = build(rows[4]); return p; }
const PaletteTheme& PaletteTheme::sovereign() { static const PaletteTheme p = build(rows[5]); return p; }
const PaletteTheme& PaletteTheme::crv() { static const PaletteTheme p = build(rows[6]); return p; }
const PaletteTheme& PaletteTheme::qlx() { static const PaletteTheme p = build(rows[7]); return p; }
const PaletteTheme& PaletteTheme::orlu() { static const PaletteTheme p = build(rows[8]); return p; }
const PaletteTheme& PaletteTheme::orluLight() { static const PaletteTheme p = build(rows[9]); return p; }
const PaletteTheme& PaletteTheme::crvLight() { static const PaletteTheme p = build(rows[10]); return p; }
const PaletteTheme& PaletteTheme::daylight() { static const PaletteTheme p = build(rows[11]); return p; }
const PaletteTheme& PaletteTheme::stark() { static const PaletteTheme p = build(rows[12]); return p; }
const PaletteTheme& PaletteTheme::fireside() { static const PaletteTheme p = build(rows[13]); return p; }
const PaletteTheme& PaletteTheme::aurora() { static const PaletteTheme p = build(rows[14]); return p; }
const PaletteTheme& PaletteTheme::solaris() { static const PaletteTheme p = build(rows[15]); return p; }
const PaletteTheme& PaletteTheme::nebula() { static const PaletteTheme p = build(rows[16]); return p; }
const PaletteTheme& PaletteTheme::titanium() { static const PaletteTheme p = build(rows[17]); return p; }
const PaletteTheme& PaletteTheme::verdant() { static const PaletteTheme p = build(rows[18]); return p; }
const PaletteTheme& PaletteTheme::obsidianFlux() { static const PaletteTheme p = build(rows[19]); return p; }
const PaletteTheme& PaletteTheme::quantum() { static const PaletteTheme p = build(rows[20]); return p; }
const PaletteTheme& PaletteTheme::meridian() { static const PaletteTheme p = build(rows[21]); return p; }

const QList<PaletteTheme>& PaletteTheme::all()
{
    static const QList<PaletteTheme> catalogue{
        ember(),
        circuit(),
        hud(),
        pro(),
        abyss(),
        sovereign(),
        crv(),
        qlx(),
        orlu(),
        orluLight(),
        crvLight(),
        daylight(),
        stark(),
        fireside(),
        aurora(),
        solaris(),
        nebula(),
        titanium(),
        verdant(),
        obsidianFlux(),
        quantum(),
        meridian()};
    return catalogue;
}

const PaletteTheme* PaletteTheme::find(const QString& id)
{
    if (id.isEmpty()) return nullptr;
    const QString wanted = id.normalized(QString::NormalizationForm_C);
    for (const PaletteTheme& p : all()) {
        if (p.id == wanted) return &p;
    }
    return nullptr;
}

QBrush stopsBrush(const QList<QColor>& colors, QPointF from, QPointF to)
{
    if (colors.isEmpty()) return QBrush(Qt::transparent);
    if (colors.size() == 1) return QBrush(colors.first());
    QLinearGradient g(from, to);
    for (qsizetype i = 0; i < colors.size(); ++i) g.setColorAt(double(i) / double(colors.size() - 1), colors[i]);
    return QBrush(g);
}

QFont systemFont(qreal size, QFont::Weight weight)
{
    QFont f = QGuiApplication::font();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    f.setPointSizeF(size * 72.0 / (dpi > 0 ? dpi : 96.0));
    f.setWeight(weight);
    return f;
}
