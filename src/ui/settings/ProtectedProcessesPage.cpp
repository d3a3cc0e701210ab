#include "core/AppSettings.h"
#include "monitoring/IncidentLedger.h"
#include "ui/dashboard/DashboardStyle.h"
#include "ui/dashboard/SymbolView.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/settings/SettingsPage.h"
#include "ui/settings/SettingsPages.h"

#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

using namespace SettingsStyle;

namespace ProtectedProcesses {

QStringList decode(const QByteArray& data)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) return {};
    QStringList names;
    for (const QJsonValue& v : doc.array()) {
        if (!v.isString()) return {};
        names.append(v.toString());
    }
    return names;
}

QByteArray encode(const QStringList& names)
{
    return QJsonDocument(QJsonArray::fromStringList(names)).toJson(QJsonDocument::Compact);
}

bool add(AppSettings& settings, const QString& typed)
{
    // Spaces and tabs only: a line break is part of what was typed.
    qsizetype from = 0, to = typed.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (from < to && blank(typed[from])) ++from;
    while (to > from && blank(typed[to - 1])) --to;
    const QString name = typed.mid(from, to - from);
    if (name.isEmpty()) return false;
    QStringList names = decode(settings.protectedProcessesData());
    if (!names.contains(name)) {
        names.append(name);
        settings.setProtectedProcessesData(encode(names));
    }
    return true;
}

void remove(AppSettings& settings, const QString& name)
{
    QStringList names = decode(settings.protectedProcessesData());
    names.removeAll(name);
    settings.setProtectedProcessesData(encode(names));
}

}  // namespace ProtectedProcesses

namespace {

class ProtectedProcessesPage : public SettingsPage {
public:
    ProtectedProcessesPage(const SettingsEnvironment& env, SettingsViewState& state) : SettingsPage(env, state)
    {
        AppSettings& s = env.settings;
        rows()->addWidget(new SectionHeader(QStringLiteral("Protected Processes"), QStringLiteral("lock.shield")));
        rows()->addWidget(makeText(QStringLiteral("Processes in this list will never be throttled or killed by Veltranmoor, "
                                              "even during high CPU usage."),
                               sysFont(12), gray, true));
        auto* card = new SettingsCard(8);
        auto* entry = new QWidget;
        auto* entryRow = new QHBoxLayout(entry);
        entryRow->setContentsMargins(0, 0, 0, 0);
        entryRow->setSpacing(8);
        auto* name = new QLineEdit(entry);
        name->setObjectName(QStringLiteral("newProtectedProcess"));
        name->setPlaceholderText(QStringLiteral("Process name"));
        name->setFont(sysFont(12));
        name->setText(state.newProtectedProcess);
        connect(name, &QLineEdit::textChanged, this, [this](const QString& t) { this->state().newProtectedProcess = t; });
        auto* add = new QToolButton(entry);
        add->setObjectName(QStringLiteral("addProtectedProcess"));
        add->setAutoRaise(true);
        add->setCursor(Qt::PointingHandCursor);
        add->setToolTip(QStringLiteral("Add"));
        add->setIconSize(QSize(16, 16));
        onRefresh([this, add] { add->setIcon(symbolIcon(QStringLiteral("plus.circle.fill"), 16, accent())); });
        connect(add, &QToolButton::clicked, this, [this, &s, name] {
            if (ProtectedProcesses::add(s, this->state().newProtectedProcess)) name->clear();
            refresh();
        });
        entryRow->addWidget(name, 1);
        entryRow->addWidget(add);
        card->content()->addWidget(entry);
        card->content()->addWidget(divider());
        card->content()->addWidget(rebuilt(0, [this, &s](QWidget* host, QVBoxLayout* column) {
            for (const QString& process : ProtectedProcesses::decode(s.protectedProcessesData())) {
                auto* row = new QWidget(host);
                row->setObjectName(QStringLiteral("protectedRow"));
                row->setProperty("processName", process);
                auto* line = new QHBoxLayout(row);
                line->setContentsMargins(0, 2, 0, 2);
                line->addWidget(new SymbolView(QStringLiteral("lock.fill"), 10, withOpacity(accent(), 0.6), row));
                line->addWidget(makeText(process, sysFont(12), Qt::white, false, row));
                line->addStretch(1);
                auto* remove = new QToolButton(row);
                remove->setObjectName(QStringLiteral("removeProtectedProcess"));
                remove->setAutoRaise(true);
                remove->setCursor(Qt::PointingHandCursor);
                remove->setToolTip(QStringLiteral("Remove"));
                remove->setIconSize(QSize(14, 14));
                remove->setIcon(symbolIcon(QStringLiteral("minus.circle.fill"), 14, withOpacity(red, 0.7)));
                connect(remove, &QToolButton::clicked, this, [this, &s, process] {
                    ProtectedProcesses::remove(s, process);
                    refresh();
                });
                line->addWidget(remove);
                column->addWidget(row);
            }
        }));
        rows()->addWidget(card);

        IncidentLedger& incidents = env.incidents;
        auto* offenders = new QWidget;
        offenders->setObjectName(QStringLiteral("offenders"));
        auto* offendersColumn = new QVBoxLayout(offenders);
        offendersColumn->setContentsMargins(0, 0, 0, 0);
        offendersColumn->setSpacing(20);
        offendersColumn->addWidget(
            makeText(QStringLiteral("FREQUENT OFFENDERS"), DashboardStyle::tracked(mono(10, QFont::Bold), 1), orange));
        auto* offendersCard = new SettingsCard(0);
        offendersCard->content()->addWidget(rebuilt(0, [&incidents](QWidget* host, QVBoxLayout* column) {
            const auto pairs = incidents.sortedIncidents();
            for (qsizetype i = 0; i < std::min<qsizetype>(pairs.size(), 10); ++i) {
                auto* row = new QWidget(host);
                row->setObjectName(QStringLiteral("offenderRow"));
                auto* line = new QHBoxLayout(row);
                line->setContentsMargins(0, 2, 0, 2);
                line->addWidget(makeText(pairs[i].first, sysFont(12), Qt::white, false, row));
                line->addStretch(1);
                line->addWidget(makeText(QString::number(pairs[i].second) + QStringLiteral(" incidents"), mono(11), orange,
                                     false, row));
                column->addWidget(row);
            }
        }));
        offendersColumn->addWidget(offendersCard);
        visibleWhen(offenders, [&incidents] { return !incidents.sortedIncidents().isEmpty(); });
        rows()->addWidget(offenders);
    }
};

}  // namespace

SettingsPage* makeProtectedProcessesPage(const SettingsEnvironment& env, SettingsViewState& state)
{
    return new ProtectedProcessesPage(env, state);
}
