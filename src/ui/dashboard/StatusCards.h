#pragma once

#include "ui/dashboard/DashboardCard.h"
#include "ui/dashboard/StatusCardsModel.h"

class CardHeader;
class QLabel;
class LinearGauge;
class TextView;

// The four status cards of the Overview: DISK, THERMAL, TOP PROCESS and NETWORK. Each shows
// its model and keeps nothing else.
class DiskCard : public DashboardCard {
    Q_OBJECT
public:
    explicit DiskCard(ThemeManager& themes, QWidget* parent = nullptr);
    void display(const StatusCardsModel::Disk& model);

    LinearGauge* gauge() const { return m_gauge; }
    TextView* freeLine() const { return m_free; }

private:
    CardHeader* m_header;
    LinearGauge* m_gauge;
    TextView* m_free;
};

class ThermalCard : public DashboardCard {
    Q_OBJECT
public:
    explicit ThermalCard(ThemeManager& themes, QWidget* parent = nullptr);
    void display(const StatusCardsModel::Thermal& model);

    LinearGauge* gauge() const { return m_gauge; }
    TextView* temperature() const { return m_temperature; }
    QLabel* note() const { return m_note; }
    TextView* stateWord() const { return m_word; }

private:
    CardHeader* m_header;
    TextView* m_word;
    TextView* m_temperature;
    LinearGauge* m_gauge;
    QLabel* m_note;
};

class TopProcessCard : public DashboardCard {
    Q_OBJECT
public:
    explicit TopProcessCard(ThemeManager& themes, QWidget* parent = nullptr);
    void display(const StatusCardsModel::TopProcess& model);

    TextView* name() const { return m_name; }
    TextView* noData() const { return m_noData; }

private:
    CardHeader* m_header;
    TextView* m_name;
    QWidget* m_figures;
    TextView* m_cpu;
    TextView* m_memory;
    TextView* m_noData;
};

class NetworkCard : public DashboardCard {
    Q_OBJECT
public:
    explicit NetworkCard(ThemeManager& themes, QWidget* parent = nullptr);
    void display(const StatusCardsModel::Network& model);

    TextView* connections() const { return m_connections; }
    TextView* inRate() const { return m_in; }
    TextView* outRate() const { return m_out; }

private:
    CardHeader* m_header;
    TextView* m_connections;
    TextView* m_in;
    TextView* m_out;
};
