#include "ui/settings/SettingsBlocks.h"
#include "ui/settings/SettingsPage.h"
#include "ui/theme/SymbolIcon.h"
#include "ui/theme/ThemeManager.h"

#include <QAbstractButton>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QVBoxLayout>

using namespace SettingsStyle;

namespace {

// One palette: its name with a radio mark, a strip in its own colours and its tagline.
class ThemeCard : public QAbstractButton {
public:
    ThemeCard(const PaletteTheme& theme, QWidget* parent) : QAbstractButton(parent), m_theme(theme)
    {
        setObjectName(QStringLiteral("themeCard"));
        setText(theme.name);
        setToolTip(theme.tagline);
        setCursor(Qt::PointingHandCursor);
        setMinimumWidth(150);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    const PaletteTheme& theme() const { return m_theme; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected)
    {
        m_selected = selected;
        update();
    }
    QSize sizeHint() const override { return {150, 12 + 20 + 10 + 56 + 10 + 16 + 12}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath outline;
        outline.addRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), 8, 8);
        p.fillPath(outline, cardBg);
        const qreal w = width() - 24;
        // Name row.
        SymbolIcon::paint(p, QRectF(12, 14, 16, 16),
                          m_selected ? QStringLiteral("largecircle.fill.circle") : QStringLiteral("circle"),
                          m_selected ? gold : gray);
        p.setFont(sysFont(14, QFont::DemiBold));
        p.setPen(Qt::white);
        p.drawText(QRectF(12 + 16 + 6, 12, w - 22, 20), Qt::AlignLeft | Qt::AlignVCenter,
                   p.fontMetrics().elidedText(m_theme.name, Qt::ElideRight, int(w - 22)));
        // Preview: background with a surface bar across its top, four dots bottom-left.
        const QRectF strip(12, 42, w, 56);
        QPainterPath clip;
        clip.addRoundedRect(strip, 6, 6);
        p.save();
        p.setClipPath(clip);
        p.fillRect(strip, m_theme.background);
        p.fillRect(QRectF(strip.left() + 8, strip.top() + 8, strip.width() - 16, 24), m_theme.surface);
        qreal x = strip.left() + 8;
        for (const QColor& c : {m_theme.accent, m_theme.accentSecondary, m_theme.success, m_theme.warning}) {
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawEllipse(QRectF(x, strip.bottom() - 8 - 10, 10, 10));
            x += 14;
        }
        p.restore();
        p.setFont(sysFont(11));
        p.setPen(gray);
        p.drawText(QRectF(12, 108, w, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   p.fontMetrics().elidedText(m_theme.tagline, Qt::ElideRight, int(w)));
        p.setBrush(Qt::NoBrush);
        p.setPen(m_selected ? QPen(gold, 1.5) : QPen(subtleBorder, 0.5));
        p.drawPath(outline);
    }

private:
    PaletteTheme m_theme;
    bool m_selected = false;
};

// As many columns of at least 150 points as fit the width, 12 points apart.
class ThemeGrid : public QWidget {
public:
    explicit ThemeGrid(QWidget* parent = nullptr) : QWidget(parent)
    {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }
    void add(ThemeCard* card)
    {
        card->setParent(this);
        m_cards.append(card);
    }
    const QList<ThemeCard*>& cards() const { return m_cards; }
    int columnsFor(int width) const { return std::max(1, (width + spacing) / (150 + spacing)); }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override
    {
        const int columns = columnsFor(width);
        const int rowCount = int((m_cards.size() + columns - 1) / columns);
        return rowCount * cardHeight() + std::max(0, rowCount - 1) * spacing;
    }
    QSize sizeHint() const override { return {150 * 3 + 2 * spacing, heightForWidth(150 * 3 + 2 * spacing)}; }
    QSize minimumSizeHint() const override { return {150, cardHeight()}; }

protected:
    void resizeEvent(QResizeEvent*) override { place(); }
    void showEvent(QShowEvent*) override { place(); }

private:
    static constexpr int spacing = 12;
    int cardHeight() const { return m_cards.isEmpty() ? 0 : m_cards.first()->sizeHint().height(); }
    void place()
    {
        const int columns = columnsFor(width());
        const int cellWidth = (width() - (columns - 1) * spacing) / columns;
        for (qsizetype i = 0; i < m_cards.size(); ++i) {
            const int column = int(i % columns), row = int(i / columns);
            m_cards[i]->setGeometry(column * (cellWidth + spacing), row * (cardHeight() + spacing), cellWidth,
                                    cardHeight());
        }
        updateGeometry();
    }

    QList<ThemeCard*> m_cards;
};

class AppearancePage : public SettingsPage {
public:
    AppearancePage(const SettingsEnvironment& env, SettingsViewState& state) : SettingsPage(env, state)
    {
        rows()->addWidget(new SectionHeader(QStringLiteral("Appearance"), QStringLiteral("paintpalette")));
        auto* card = new SettingsCard(14);
        card->content()->addWidget(makeText(QStringLiteral("Theme"), sysFont(13, QFont::DemiBold), Qt::white));
        QLabel* caption = makeText(QString::number(PaletteTheme::all().size()) +
                                   QStringLiteral(" themes. Switches without restart."),
                               sysFont(11), gray, true);
        caption->setObjectName(QStringLiteral("themeCountCaption"));
        card->content()->addWidget(caption);
        auto* grid = new ThemeGrid;
        grid->setObjectName(QStringLiteral("themeGrid"));
        ThemeManager& themes = env.themeManager;
        for (const PaletteTheme& palette : PaletteTheme::all()) {
            auto* themeCard = new ThemeCard(palette, grid);
            grid->add(themeCard);
            const QString id = palette.id;
            connect(themeCard, &QAbstractButton::clicked, this, [&themes, id] {
                // An id the catalogue does not know changes nothing.
                if (PaletteTheme::find(id)) themes.choose(id);
            });
            onRefresh([themeCard, &themes, id] { themeCard->setSelected(themes.current().id == id); });
        }
        card->content()->addWidget(grid);
        rows()->addWidget(card);
    }
};

}  // namespace

SettingsPage* makeAppearancePage(const SettingsEnvironment& env, SettingsViewState& state)
{
    return new AppearancePage(env, state);
}
