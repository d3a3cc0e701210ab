#include "ui/dashboard/StatusCards.h"

#include "ui/dashboard/CardHeader.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/LinearGauge.h"
#include "ui/dashboard/NamedColor.h"
#include "ui/dashboard/TextView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {
QColor gray()
{
    return namedColor(NamedColor::gray);
}

TextView* line(const QString& text, const QFont& font, const QColor& color, QWidget* parent)
{
    auto* view = new TextView(text, font, color, parent);
    view->setElides(true);
    return view;
}
}  // namespace

DiskCard::DiskCard(ThemeManager& themes, QWidget* parent) : DashboardCard(themes, DashboardStyle::cardPadding, 8, parent)
{
    m_header = new CardHeader(QStringLiteral("internaldrive"), QStringLiteral("DISK"), this);
    m_header->setColor(namedColor(NamedColor::green));
    m_gauge = new LinearGauge(this);
    m_gauge->setRange(0, 100);
    m_free = line(QString(), DashboardStyle::font(12, QFont::Medium), gray(), this);
    content()->addWidget(m_header);
    content()->addWidget(m_gauge);
    content()->addWidget(m_free);
    content()->addStretch(1);
}

void DiskCard::display(const StatusCardsModel::Disk& model)
{
    const PaletteTheme& t = theme();
    m_gauge->setTint({t.metricDisk, t.warning, t.danger});
    m_gauge->setValue(model.percentUsed);
    m_gauge->setValueText(model.percentText, DashboardStyle::mono(18, QFont::Bold), t.textBright);
    m_free->setText(model.freeText);
}

ThermalCard::ThermalCard(ThemeManager& themes, QWidget* parent)
    : DashboardCard(themes, DashboardStyle::cardPadding, 8, parent)
{
    m_header = new CardHeader(QString(), QStringLiteral("THERMAL"), this);
    m_word = new TextView(QString(), DashboardStyle::mono(10, QFont::Bold), Qt::white, this);
    m_header->trailing()->addStretch(1);
    m_header->trailing()->addWidget(m_word);
    m_temperature = line(QString(), DashboardStyle::mono(24, QFont::Bold), Qt::white, this);
    m_gauge = new LinearGauge(this);
    m_gauge->setRange(0, StatusCardsModel::thermalGaugeMaximum);
    // The note may need two lines in a narrow card: it wraps rather than losing its end.
    m_note = new QLabel(this);
    m_note->setWordWrap(true);
    m_note->setTextFormat(Qt::PlainText);
    m_note->setFont(DashboardStyle::font(10));
    QPalette notePalette = m_note->palette();
    notePalette.setColor(QPalette::WindowText, gray());
    m_note->setPalette(notePalette);
    content()->addWidget(m_header);
    content()->addWidget(m_temperature);
    content()->addWidget(m_gauge);
    content()->addWidget(m_note);
    content()->addStretch(1);
}

void ThermalCard::display(const StatusCardsModel::Thermal& model)
{
    const PaletteTheme& t = theme();
    const QColor color = namedColor(model.color);
    m_header->setSymbol(model.icon);
    m_header->setColor(color);
    m_word->setText(model.stateWord);
    m_word->setColor(color);
    m_temperature->setText(model.temperatureText);
    m_temperature->setColor(t.textBright);
    m_gauge->setVisible(model.gaugeValue.has_value());
    if (model.gaugeValue) {
        m_gauge->setTint({t.metricDisk, t.warning, t.metricThermal, t.danger});
        m_gauge->setValue(*model.gaugeValue);
    }
    m_note->setText(model.note);
}

TopProcessCard::TopProcessCard(ThemeManager& themes, QWidget* parent)
    : DashboardCard(themes, DashboardStyle::cardPadding, 8, parent)
{
    m_header = new CardHeader(QStringLiteral("list.bullet.rectangle"), QStringLiteral("TOP PROCESS"), this);
    m_header->setColor(namedColor(NamedColor::orange));
    m_name = line(QString(), DashboardStyle::font(14, QFont::Bold), Qt::white, this);
    m_figures = new QWidget(this);
    auto* figures = new QHBoxLayout(m_figures);
    figures->setContentsMargins(0, 0, 0, 0);
    figures->setSpacing(8);
    m_cpu = new TextView(QString(), DashboardStyle::mono(11), namedColor(NamedColor::orange), m_figures);
    m_memory = new TextView(QString(), DashboardStyle::mono(11), gray(), m_figures);
    figures->addWidget(m_cpu);
    figures->addWidget(m_memory);
    figures->addStretch(1);
    m_noData = new TextView(StatusCardsModel::noDataText, DashboardStyle::font(12), gray(), this);
    content()->addWidget(m_header);
    content()->addWidget(m_name);
    content()->addWidget(m_figures);
    content()->addWidget(m_noData);
    content()->addStretch(1);
}

void TopProcessCard::display(const StatusCardsModel::TopProcess& model)
{
    const bool has = model.name.has_value();
    m_name->setColor(theme().textBright);
    m_name->setVisible(has);
    m_figures->setVisible(has);
    m_noData->setVisible(!has);
    if (!has) return;
    m_name->setText(*model.name);
    m_cpu->setText(model.cpuText);
    m_memory->setText(model.memoryText);
}

NetworkCard::NetworkCard(ThemeManager& themes, QWidget* parent)
    : DashboardCard(themes, DashboardStyle::cardPadding, 8, parent)
{
    const QColor cyan = namedColor(NamedColor::cyan);
    m_header = new CardHeader(QStringLiteral("network"), QStringLiteral("NETWORK"), this);
    m_header->setColor(cyan);
    m_connections = new TextView(QString(), DashboardStyle::mono(14, QFont::Bold), cyan, this);
    m_header->trailing()->addStretch(1);
    m_header->trailing()->addWidget(m_connections);
    m_header->trailing()->addWidget(
        new TextView(QStringLiteral("conn"), DashboardStyle::mono(9, QFont::Medium), gray(), this));

    auto* columns = new QHBoxLayout;
    columns->setSpacing(12);
    auto column = [&](const QString& caption, const QColor& color, TextView*& value) {
        auto* col = new QVBoxLayout;
        col->setSpacing(2);
        col->addWidget(new TextView(caption, DashboardStyle::font(9, QFont::Bold), gray(), this));
        value = line(QString(), DashboardStyle::mono(12, QFont::Bold), color, this);
        col->addWidget(value);
        columns->addLayout(col, 1);
    };
    column(QStringLiteral("IN"), namedColor(NamedColor::green), m_in);
    column(QStringLiteral("OUT"), namedColor(NamedColor::orange), m_out);
    content()->addWidget(m_header);
    content()->addLayout(columns);
    content()->addStretch(1);
}

void NetworkCard::display(const StatusCardsModel::Network& model)
{
    m_connections->setText(model.connections);
    m_in->setText(model.inText);
    m_out->setText(model.outText);
}
