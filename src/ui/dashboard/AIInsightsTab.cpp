#include "ui/dashboard/AIInsightsTab.h"

#include "core/Clock.h"
#include "optimisation/AIEngine.h"
#include "ui/dashboard/AIInsightsModel.h"
#include "ui/dashboard/DashboardCard.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/IconTextRow.h"
#include "ui/dashboard/NamedColor.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/dashboard/TextView.h"
#include "ui/dashboard/WrappedTextView.h"
#include "ui/theme/ThemeManager.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(alpha);
    return color;
}

// A rounded rectangle filled in one colour and, when given, stroked in another.
class TintedFrame : public QWidget {
public:
    TintedFrame(QColor fill, std::optional<QColor> stroke, qreal radius, QWidget* parent = nullptr)
        : QWidget(parent), m_fill(fill), m_stroke(stroke), m_radius(radius)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        p.setPen(m_stroke ? QPen(*m_stroke, 1) : Qt::NoPen);
        p.setBrush(m_fill);
        p.drawRoundedRect(box, m_radius, m_radius);
    }

private:
    QColor m_fill;
    std::optional<QColor> m_stroke;
    qreal m_radius;
};

TextView* text(const QString& s, const QFont& font, const QColor& color, QWidget* parent)
{
    auto* view = new TextView(s, font, color, parent);
    view->setElides(true);
    return view;
}

QString joined(const QStringList& parts) { return parts.join(QStringLiteral(" \u00B7 ")); }

}  // namespace

AIInsightsTab::AIInsightsTab(const DashboardEnvironment& env, QWidget* parent)
    : QWidget(parent), m_env(env), m_layout(new QVBoxLayout(this))
{
    setObjectName(QStringLiteral("aiInsightsTab"));
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_ageTimer.setInterval(1000);
    connect(&m_ageTimer, &QTimer::timeout, this, &AIInsightsTab::updateAges);
    connect(&env.aiEngine, &AIEngine::changed, this, &AIInsightsTab::scheduleRefresh);
    connect(&env.themeManager, &ThemeManager::currentChanged, this, &AIInsightsTab::scheduleRefresh);
    refresh();
}

void AIInsightsTab::scheduleRefresh()
{
    if (m_refreshQueued) return;
    m_refreshQueued = true;
    QMetaObject::invokeMethod(this, [this] { refresh(); }, Qt::QueuedConnection);
}

void AIInsightsTab::refresh()
{
    m_refreshQueued = false;
    // A pass publishes at most once every few samples, and the lists hold at most 50 rows:
    // the cards are simply built again.
    delete m_cards;
    m_stats.clear();
    m_leakRows.clear();
    m_insightRows.clear();
    m_ages.clear();
    m_leaksCard = nullptr;
    m_emptyState = nullptr;

    m_cards = new QWidget(this);
    auto* column = new QVBoxLayout(m_cards);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(16);
    column->addWidget(makeDecisionEngineCard());
    if (!m_env.aiEngine.detectedLeaks().isEmpty()) column->addWidget(m_leaksCard = makeLeaksCard());
    column->addWidget(makeInsightsCard());
    column->addStretch(1);
    m_layout->addWidget(m_cards);
}

QWidget* AIInsightsTab::makeDecisionEngineCard()
{
    const AIEngine& engine = m_env.aiEngine;
    auto* card = new DashboardCard(m_env.themeManager, DashboardStyle::cardPadding, 8);
    card->setObjectName(QStringLiteral("decisionEngineCard"));
    const QColor cyan = namedColor(NamedColor::cyan);

    auto* titleBlock = new QHBoxLayout;
    titleBlock->addWidget(new SymbolView(QStringLiteral("brain.head.profile"), 24, cyan, card));
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    titles->addWidget(text(AIInsightsModel::title, DashboardStyle::tracked(DashboardStyle::mono(12, QFont::Bold), 1), cyan, card));
    m_personality = text(engine.systemPersonality(), DashboardStyle::font(12), m_env.themeManager.current().textBright, card);
    titles->addWidget(m_personality);
    titleBlock->addLayout(titles, 1);
    card->content()->addLayout(titleBlock);

    auto* stats = new QHBoxLayout;
    stats->setSpacing(16);
    for (const AIInsightsModel::Stat& stat : AIInsightsModel::decisionEngineStats(AIInsightsModel::counts(engine))) {
        auto* label = new IconTextRow(stat.symbol, 11, DashboardStyle::font(11), namedColor(stat.color), 4, card);
        label->setText(stat.text);
        stats->addWidget(label);
        m_stats.append(label);
    }
    stats->addStretch(1);
    card->content()->addLayout(stats);
    return card;
}

QWidget* AIInsightsTab::makeLeaksCard()
{
    const PaletteTheme& theme = m_env.themeManager.current();
    const QColor red = namedColor(NamedColor::red);
    auto* card = new TintedFrame(theme.surface, withAlpha(red, 0.3), DashboardStyle::cardRadius);
    card->setObjectName(QStringLiteral("leaksCard"));
    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(8);
    column->addWidget(text(AIInsightsModel::leaksTitle, DashboardStyle::tracked(DashboardStyle::mono(11, QFont::Bold), 1), red, card));
    for (const MemoryLeak& leak : m_env.aiEngine.detectedLeaks()) {
        auto* row = new TintedFrame(withAlpha(red, 0.08), std::nullopt, 8, card);
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(12, 12, 12, 12);
        line->setSpacing(12);
        line->addWidget(new SymbolView(QStringLiteral("drop.triangle.fill"), 16, red, row));
        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        auto* name = text(leak.processName, DashboardStyle::font(13, QFont::Bold), m_env.themeManager.current().textBright, row);
        auto* detail = text(AIInsightsModel::leakLine(leak), DashboardStyle::mono(11), namedColor(NamedColor::gray), row);
        texts->addWidget(name);
        texts->addWidget(detail);
        line->addLayout(texts, 1);
        auto* confidence = new TextView(AIInsightsModel::confidenceText(leak.confidence), DashboardStyle::mono(12, QFont::Bold), red, row);
        line->addWidget(confidence);
        row->setProperty("rowText", joined({name->text(), detail->text(), confidence->text()}));
        column->addWidget(row);
        m_leakRows.append(row);
    }
    return card;
}

QWidget* AIInsightsTab::makeInsightsCard()
{
    const PaletteTheme& theme = m_env.themeManager.current();
    auto* card = new DashboardCard(m_env.themeManager, DashboardStyle::cardPadding, 8);
    card->setObjectName(QStringLiteral("insightsCard"));
    card->content()->addWidget(
        text(AIInsightsModel::insightsTitle, DashboardStyle::tracked(DashboardStyle::mono(11, QFont::Bold), 1), theme.accent, card));
    const QColor gray = namedColor(NamedColor::gray);

    const QList<AIInsight>& insights = m_env.aiEngine.insights();
    if (insights.isEmpty()) {
        m_emptyState = new QWidget(card);
        auto* empty = new QVBoxLayout(m_emptyState);
        empty->setContentsMargins(0, 30, 0, 30);
        empty->setSpacing(12);
        auto* symbol = new SymbolView(QStringLiteral("brain.head.profile"), 40, withAlpha(gray, 0.3), m_emptyState);
        empty->addWidget(symbol, 0, Qt::AlignHCenter);
        auto* title = new TextView(AIInsightsModel::emptyTitle, DashboardStyle::font(13), gray, m_emptyState);
        auto* detail = new TextView(AIInsightsModel::emptyDetail, DashboardStyle::font(11), withAlpha(gray, 0.6), m_emptyState);
        title->setAlignment(Qt::AlignCenter);
        detail->setAlignment(Qt::AlignCenter);
        empty->addWidget(title);
        empty->addWidget(detail);
        card->content()->addWidget(m_emptyState);
        return card;
    }

    const QDateTime now = m_env.processes.clock.now();
    for (const AIInsight& insight : insights) {
        const AIInsightsModel::Style type = AIInsightsModel::typeStyle(insight.type);
        const AIInsightsModel::Style severity = AIInsightsModel::severityStyle(insight.severity);
        auto* row = new TintedFrame(withAlpha(type.color, 0.05), std::nullopt, 8, card);
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(10, 10, 10, 10);
        line->setSpacing(12);
        auto* symbol = new SymbolView(type.symbol, 14, type.color, row);
        symbol->setFixedWidth(24);
        line->addWidget(symbol);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        auto* heading = new QHBoxLayout;
        auto* title = new TextView(insight.title, DashboardStyle::font(12, QFont::DemiBold), m_env.themeManager.current().textBright, row);
        heading->addWidget(title);
        heading->addWidget(new SymbolView(severity.symbol, 10, severity.color, row));
        heading->addStretch(1);
        texts->addLayout(heading);
        auto* detail = new WrappedTextView(insight.detail, DashboardStyle::font(11), gray, 3, row);
        texts->addWidget(detail);
        line->addLayout(texts, 1);
        auto* age = new TextView(AIInsightsModel::relativeTime(insight.timestamp, now), DashboardStyle::font(9), gray, row);
        line->addWidget(age, 0, Qt::AlignVCenter);
        row->setProperty("rowTitle", insight.title);
        row->setProperty("rowDetail", insight.detail);
        m_ages.append({age, insight.timestamp});
        card->content()->addWidget(row);
        m_insightRows.append(row);
    }
    return card;
}

void AIInsightsTab::updateAges()
{
    const QDateTime now = m_env.processes.clock.now();
    for (const auto& [view, time] : m_ages) view->setText(AIInsightsModel::relativeTime(time, now));
}

void AIInsightsTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    updateAges();
    m_ageTimer.start();
}

void AIInsightsTab::hideEvent(QHideEvent* event)
{
    m_ageTimer.stop();
    QWidget::hideEvent(event);
}

QString AIInsightsTab::personalityText() const { return m_personality ? m_personality->text() : QString(); }

QStringList AIInsightsTab::statTexts() const
{
    QStringList out;
    for (const IconTextRow* v : m_stats) out << v->text();
    return out;
}

QList<QColor> AIInsightsTab::statColors() const
{
    QList<QColor> out;
    for (const IconTextRow* v : m_stats) out << v->color();
    return out;
}

QStringList AIInsightsTab::leakRowTexts() const
{
    QStringList out;
    for (const QWidget* row : m_leakRows) out << row->property("rowText").toString();
    return out;
}

QStringList AIInsightsTab::insightRowTexts() const
{
    QStringList out;
    for (qsizetype i = 0; i < m_insightRows.size(); ++i) {
        out << joined({m_insightRows[i]->property("rowTitle").toString(), m_insightRows[i]->property("rowDetail").toString(),
                       m_ages.value(i).first ? m_ages[i].first->text() : QString()});
    }
    return out;
}
