#pragma once

#include "ui/dashboard/DashboardEnvironment.h"

#include <QDateTime>
#include <QList>
#include <QTimer>
#include <QWidget>

class IconTextRow;
class QVBoxLayout;
class TextView;

// The AI Insights tab: the decision engine's summary card, the suspected leaks (only while
// there are any) and the engine's insights, or the learning empty state. It only reads what
// the engine publishes and rebuilds itself when the engine or the palette changes; the
// insights' ages count up once a second while the tab is shown.
class AIInsightsTab : public QWidget {
    Q_OBJECT
public:
    explicit AIInsightsTab(const DashboardEnvironment& env, QWidget* parent = nullptr);

    void refresh();

    // What is shown, for tests.
    QString personalityText() const;
    QStringList statTexts() const;
    QList<QColor> statColors() const;
    bool showsLeaksCard() const { return m_leaksCard != nullptr; }
    bool showsEmptyState() const { return m_emptyState != nullptr; }
    QStringList leakRowTexts() const;        // name, line and confidence of each row, joined by " · "
    QStringList insightRowTexts() const;     // title, detail and age of each row, joined by " · "

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void scheduleRefresh();
    void updateAges();
    QWidget* makeDecisionEngineCard();
    QWidget* makeLeaksCard();
    QWidget* makeInsightsCard();

    DashboardEnvironment m_env;
    bool m_refreshQueued = false;
    QVBoxLayout* m_layout;
    QWidget* m_cards = nullptr;
    TextView* m_personality = nullptr;
    QList<IconTextRow*> m_stats;
    QWidget* m_leaksCard = nullptr;
    QWidget* m_emptyState = nullptr;
    QList<QWidget*> m_leakRows;
    QList<QWidget*> m_insightRows;
    QList<QPair<TextView*, QDateTime>> m_ages;
    QTimer m_ageTimer;
};
