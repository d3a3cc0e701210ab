#include "core/AppSettings.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/settings/SettingsPage.h"
#include "ui/settings/SettingsServices.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>

using namespace SettingsStyle;

namespace {

class VRAXPage : public SettingsPage {
public:
    VRAXPage(const SettingsEnvironment& env, SettingsViewState& state) : SettingsPage(env, state)
    {
        AppSettings& s = env.settings;
        VRAXStatusFeed& vrax = env.vrax;
        refreshOn(&vrax, &VRAXStatusFeed::changed);
        rows()->addWidget(new SectionHeader(QStringLiteral("VRAX Integration"), QStringLiteral("network")));
        rows()->addWidget(makeText(QStringLiteral("Connect Veltranmoor to your VRAX instance for centralized monitoring and "
                                              "control."),
                               sysFont(12), gray, true));
        auto* card = new SettingsCard(16);
        card->content()->addWidget(toggleRow(QStringLiteral("vraxIntegrationEnabled"),
                                             QStringLiteral("Enable VRAX Integration"),
                                             QStringLiteral("Send performance data and receive commands from VRAX"),
                                             [&s] { return s.vraxIntegrationEnabled(); },
                                             [&s](bool on) { s.setVraxIntegrationEnabled(on); }));
        auto* details = new QWidget;
        details->setObjectName(QStringLiteral("vraxDetails"));
        auto* column = new QVBoxLayout(details);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(16);
        column->addWidget(divider());
        auto* endpointBox = new QWidget;
        auto* endpointColumn = new QVBoxLayout(endpointBox);
        endpointColumn->setContentsMargins(0, 0, 0, 0);
        endpointColumn->setSpacing(6);
        endpointColumn->addWidget(makeText(QStringLiteral("VRAX Endpoint URL"), sysFont(12, QFont::Medium), Qt::white));
        auto* endpoint = new QLineEdit;
        endpoint->setPlaceholderText(QStringLiteral("https://vrax.veltranmoor.app/mcp"));
        endpoint->setFont(mono(12));
        field(QStringLiteral("vraxEndpointURL"), endpoint, [&s] { return s.vraxEndpointURL(); },
              [&s](const QString& v) { s.setVraxEndpointURL(v); });
        endpointColumn->addWidget(endpoint);
        column->addWidget(endpointBox);
        column->addWidget(divider());
        column->addWidget(toggleRow(QStringLiteral("fleetCommsEnabled"), QStringLiteral("Fleet Comms"),
                                    QStringLiteral("Post this computer's status to VRAX and accept safe, reversible "
                                                   "directives back. Silent when offline."),
                                    [&s] { return s.fleetCommsEnabled(); }, [&s](bool on) { s.setFleetCommsEnabled(on); }));
        auto* statusRow = new QWidget;
        auto* statusLine = new QHBoxLayout(statusRow);
        statusLine->setContentsMargins(0, 0, 0, 0);
        statusLine->setSpacing(6);
        auto* dot = new StatusDot(SettingsStyle::gray, statusRow);
        statusLine->addWidget(dot);
        QLabel* status = makeText(QString(), sysFont(11), gray, false, statusRow);
        status->setObjectName(QStringLiteral("vraxStatus"));
        statusLine->addWidget(status, 1);
        onRefresh([&vrax, dot, status] {
            const VRAXStatusView v = vrax.status();
            QColor c = gray;
            QString t;
            switch (v.kind) {
            case VRAXStatusView::Kind::connected:
                c = green;
                t = QStringLiteral("Connected \u00B7 last beat ") + v.lastBeatAt.toLocalTime().toString(QStringLiteral("HH:mm:ss"));
                break;
            case VRAXStatusView::Kind::error:
                c = red;
                t = QStringLiteral("Error: ") + v.message;
                break;
            case VRAXStatusView::Kind::disabled: t = QStringLiteral("Disabled"); break;
            case VRAXStatusView::Kind::connecting:
                c = yellow;
                t = QStringLiteral("Connecting to VRAX\u2026");
                break;
            }
            dot->setColor(c);
            status->setText(t);
            setInk(status, QPalette::WindowText, c);
        });
        column->addWidget(statusRow);
        visibleWhen(details, [&s] { return s.vraxIntegrationEnabled(); });
        card->content()->addWidget(details);
        rows()->addWidget(card);
    }
};

}  // namespace

SettingsPage* makeVRAXPage(const SettingsEnvironment& env, SettingsViewState& state)
{
    return new VRAXPage(env, state);
}
