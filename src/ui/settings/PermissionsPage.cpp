#include "ui/dashboard/SymbolView.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/settings/SettingsPage.h"
#include "ui/settings/SettingsPages.h"
#include "ui/shell/PermissionsCenter.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

using namespace SettingsStyle;

QString permissionsSummary(int missing)
{
    if (missing == 0) return QStringLiteral("Everything Veltranmoor needs is granted.");
    return QString::number(missing) + QStringLiteral(" permission") +
           (missing == 1 ? QStringLiteral(" is") : QStringLiteral("s are")) +
           QStringLiteral(" missing. Each one below says exactly what it costs you.");
}

QString remedyButtonText(PermissionRemedy remedy)
{
    switch (remedy) {
    case PermissionRemedy::none: break;
    case PermissionRemedy::openSettings: return QStringLiteral("Open Settings");
    case PermissionRemedy::createFolder: return QStringLiteral("Create Folder");
    case PermissionRemedy::showInFiles: return QStringLiteral("Show in Files");
    }
    return {};
}

namespace {

struct StateLook {
    QString icon, badge;
    QColor color, border;
};

StateLook lookOf(PermissionState state)
{
    switch (state) {
    case PermissionState::granted:
        return {QStringLiteral("checkmark.circle.fill"), QStringLiteral("Granted"), green, withOpacity(green, 0.22)};
    case PermissionState::denied:
        return {QStringLiteral("xmark.circle.fill"), QStringLiteral("Denied"), red, withOpacity(orange, 0.35)};
    case PermissionState::notDetermined: break;
    }
    return {QStringLiteral("questionmark.circle.fill"), QStringLiteral("Not set"), orange, withOpacity(orange, 0.35)};
}

// One permission: its state, what it enables and, while it is missing, what that costs and the
// button that can still help.
class PermissionCard : public QWidget {
public:
    PermissionCard(const PermissionItem& item, PermissionsCenter& center, QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("permissionCard"));
        setProperty("permissionID", item.id);
        const StateLook look = lookOf(item.state);
        m_border = look.border;
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(14, 14, 14, 14);
        column->setSpacing(8);
        auto* top = new QHBoxLayout;
        top->setSpacing(9);
        top->addWidget(new SymbolView(look.icon, 14, look.color, this));
        top->addWidget(makeText(item.name, sysFont(14, QFont::DemiBold), Qt::white, false, this));
        top->addStretch(1);
        QLabel* badge = makeText(look.badge, sysFont(10, QFont::Bold), look.color, false, this);
        badge->setObjectName(QStringLiteral("stateBadge"));
        badge->setContentsMargins(8, 3, 8, 3);
        badge->setStyleSheet(QStringLiteral("background: rgba(%1,%2,%3,41); border-radius: 8px;")
                                 .arg(look.color.red())
                                 .arg(look.color.green())
                                 .arg(look.color.blue()));
        top->addWidget(badge);
        column->addLayout(top);
        column->addWidget(makeText(item.whatItEnables, sysFont(11), gray, true, this));
        if (item.state == PermissionState::granted) return;
        column->addWidget(makeText(item.ifMissing, sysFont(11, QFont::Medium), orange, true, this));
        if (!item.howToFix.isEmpty()) {
            QLabel* fix = makeText(item.howToFix, sysFont(11), gray, true, this);
            fix->setObjectName(QStringLiteral("howToFix"));
            fix->setTextInteractionFlags(Qt::TextSelectableByMouse);
            column->addWidget(fix);
        }
        const QString label = remedyButtonText(item.remedy);
        if (label.isEmpty()) return;
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(8);
        auto* primary = new QPushButton(label, this);
        SettingsStyle::themedButton(primary);
        primary->setObjectName(QStringLiteral("primaryButton"));
        primary->setDefault(true);
        buttons->addWidget(primary);
        buttons->addStretch(1);
        column->addLayout(buttons);
        const PermissionItem copy = item;
        QObject::connect(primary, &QPushButton::clicked, this, [&center, copy] { center.requestAccess(copy); });
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
        p.fillPath(path, QColor(255, 255, 255, 10));
        p.setPen(QPen(m_border, 1));
        p.drawPath(path);
    }

private:
    QColor m_border;
};

class PermissionsPage : public SettingsPage {
public:
    PermissionsPage(const SettingsEnvironment& env, SettingsViewState& state) : SettingsPage(env, state)
    {
        PermissionsCenter& center = env.permissions;
        refreshOn(&center, &PermissionsCenter::changed);
        rows()->setSpacing(16);
        rows()->setContentsMargins(20, 20, 20, 20);

        auto* header = new QWidget;
        auto* headerRow = new QHBoxLayout(header);
        headerRow->setContentsMargins(0, 0, 0, 0);
        auto* titles = new QVBoxLayout;
        titles->setSpacing(4);
        titles->addWidget(makeText(QStringLiteral("Permissions"), sysFont(18, QFont::Bold), Qt::white));
        QLabel* summary = makeText(QString(), sysFont(12), green, true);
        summary->setObjectName(QStringLiteral("permissionsSummary"));
        onRefresh([summary, &center] {
            const int missing = center.missing();
            summary->setText(permissionsSummary(missing));
            setInk(summary, QPalette::WindowText, missing == 0 ? green : orange);
        });
        titles->addWidget(summary);
        headerRow->addLayout(titles, 1);
        auto* recheck = new QPushButton(QStringLiteral("Re-check"));
        SettingsStyle::themedButton(recheck);
        recheck->setObjectName(QStringLiteral("recheckButton"));
        connect(recheck, &QPushButton::clicked, this, [&center] { center.refresh(); });
        headerRow->addWidget(recheck, 0, Qt::AlignTop);
        rows()->addWidget(header);

        rows()->addWidget(rebuilt(16, [&center](QWidget* host, QVBoxLayout* column) {
            for (const PermissionItem& item : center.items()) column->addWidget(new PermissionCard(item, center, host));
        }));
        QLabel* unavailable = makeText(QString(), sysFont(11), orange, true);
        unavailable->setObjectName(QStringLiteral("permissionsMessage"));
        onRefresh([unavailable, &center] {
            unavailable->setText(center.message().value_or(QString()));
            unavailable->setVisible(center.message().has_value());
        });
        rows()->addWidget(unavailable);
        rows()->addWidget(makeText(permissionsFooter, sysFont(10), gray, true));
    }
};

}  // namespace

SettingsPage* makePermissionsPage(const SettingsEnvironment& env, SettingsViewState& state)
{
    return new PermissionsPage(env, state);
}
