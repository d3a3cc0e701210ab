#include "core/AppSettings.h"
#include "services/TelemetryService.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/settings/SettingsPage.h"
#include "ui/theme/TavrilonToggle.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>
#include <QVBoxLayout>

using namespace SettingsStyle;

namespace {

// The product logo, rounded.
class Logo : public QWidget {
public:
    explicit Logo(QWidget* parent = nullptr) : QWidget(parent) { setFixedSize(256, 256); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(rect()), 26, 26);
        p.setClipPath(clip);
        p.fillRect(rect(), QColor(0x14, 0x14, 0x18));
        QSvgRenderer svg(QStringLiteral(":/icons/VeltranmoorMark.svg"));
        if (svg.isValid()) svg.render(&p, QRectF(rect()).adjusted(28, 28, -28, -28));
    }
};

class AboutPage : public SettingsPage {
public:
    AboutPage(const SettingsEnvironment& env, SettingsViewState& state) : SettingsPage(env, state)
    {
        AppSettings& s = env.settings;
        rows()->addWidget(new SectionHeader(QStringLiteral("About Veltranmoor AI"), QStringLiteral("info.circle")));

        auto* identity = new SettingsCard(16);
        identity->content()->setContentsMargins(16, 24, 16, 24);
        identity->content()->addWidget(new Logo, 0, Qt::AlignHCenter);
        const QString version = env.appVersion.isEmpty() ? QStringLiteral("\u2014") : env.appVersion;
        QLabel* versionLine = makeText(QStringLiteral("Version ") + version, sysFont(12, QFont::Medium), gray);
        versionLine->setObjectName(QStringLiteral("aboutVersion"));
        identity->content()->addWidget(versionLine, 0, Qt::AlignHCenter);
        identity->content()->addWidget(divider());
        QLabel* tagline = makeText(QStringLiteral("AI-Powered Autonomous Performance Optimization"), sysFont(12), gray);
        identity->content()->addWidget(tagline, 0, Qt::AlignHCenter);
        QLabel* features = makeText(QStringLiteral("Pattern Learning \u2022 Memory Leak Detection \u2022 Predictive Maintenance"),
                                sysFont(10), gray);
        onRefresh([this, features] {
            setInk(features, QPalette::WindowText, withOpacity(accent(), 0.6));
        });
        identity->content()->addWidget(features, 0, Qt::AlignHCenter);
        rows()->addWidget(identity);

        auto* privacy = new SettingsCard(10);
        privacy->content()->setContentsMargins(16, 20, 16, 20);
        privacy->content()->addWidget(makeText(QStringLiteral("Privacy & Data"), sysFont(14, QFont::DemiBold), Qt::white));
        TelemetryService& telemetry = env.telemetry;
        privacy->content()->addWidget(controlRow(
            makeText(QStringLiteral("Share anonymized usage & performance data"), sysFont(12), gray, true),
            toggle(QStringLiteral("telemetryEnabled"), [&s] { return s.telemetryEnabled(); },
                   [&s, &telemetry](bool on) {
                       s.setTelemetryEnabled(on);
                       s.setTelemetryConsentDecided(true);
                       telemetry.start();
                   })));
        QLabel* explanation = makeText(QString(), sysFont(10), withOpacity(gray, 0.7), true);
        explanation->setObjectName(QStringLiteral("privacyExplanation"));
        // The region decides the second sentence at every draw, not the stored switch.
        liveText(explanation, [&telemetry] {
            return QStringLiteral("Helps us improve Veltranmoor. We never sell your data, and never collect your files, "
                                  "file names, keystrokes, or what you type in chat. ") +
                   (!telemetry.regionKnown()
                        ? QStringLiteral("Your region can't be told from your regional settings, so this is OFF unless "
                                         "you turn it on.")
                    : telemetry.isEURegion() ? QStringLiteral("You're in the EU/EEA, so this is OFF unless you turn it on.")
                                             : QStringLiteral("On by default \u2014 turn it off anytime."));
        });
        privacy->content()->addWidget(explanation);
        rows()->addWidget(privacy);
    }
};

}  // namespace

SettingsPage* makeAboutPage(const SettingsEnvironment& env, SettingsViewState& state)
{
    return new AboutPage(env, state);
}
