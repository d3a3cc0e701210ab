#include "core/AppSettings.h"
#include "ui/settings/SettingsBlocks.h"
#include "ui/settings/SettingsPage.h"

#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

using namespace SettingsStyle;

namespace {

// The stored figure cut toward zero; a value that is no finite 64-bit number reads "—".
QString wholeText(double value, const QString& unit)
{
    if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) return QStringLiteral("\u2014");
    return QString::number(qint64(value)) + unit;
}

class ThresholdsPage : public SettingsPage {
public:
    ThresholdsPage(const SettingsEnvironment& env, SettingsViewState& state) : SettingsPage(env, state)
    {
        AppSettings& s = env.settings;
        rows()->addWidget(new SectionHeader(QStringLiteral("Performance Thresholds"), QStringLiteral("slider.horizontal.3")));
        auto* card = new SettingsCard(20);
        struct Block {
            QString key, title, unit, caption;
            double min, max, step;
            std::optional<QColor> fixed;
            std::function<double()> get;
            std::function<void(double)> set;
        };
        const QList<Block> blocks{
            {QStringLiteral("cpuThreshold"), QStringLiteral("CPU Warning Threshold"), QStringLiteral("%"),
             QStringLiteral("Processes exceeding this CPU usage will be flagged as runaway"), 50, 100, 5, std::nullopt,
             [&s] { return s.cpuThreshold(); }, [&s](double v) { s.setCpuThreshold(v); }},
            {QStringLiteral("sustainedTimeBeforeAction"), QStringLiteral("Time Before Action"), QStringLiteral("s"),
             QStringLiteral("How long a process must exceed the threshold before Veltranmoor takes action"), 10, 120, 5,
             std::nullopt, [&s] { return s.sustainedTimeBeforeAction(); },
             [&s](double v) { s.setSustainedTimeBeforeAction(v); }},
            {QStringLiteral("diskWarningThresholdGB"), QStringLiteral("Disk Warning Threshold"), QStringLiteral(" GB"),
             QStringLiteral("Show a warning when free disk space drops below this level"), 5, 50, 5, yellow,
             [&s] { return s.diskWarningThresholdGB(); }, [&s](double v) { s.setDiskWarningThresholdGB(v); }},
            {QStringLiteral("diskCriticalThresholdGB"), QStringLiteral("Disk Critical Threshold"), QStringLiteral(" GB"),
             QStringLiteral("Trigger emergency cleanup when free space drops below this level"), 2, 30, 1, red,
             [&s] { return s.diskCriticalThresholdGB(); }, [&s](double v) { s.setDiskCriticalThresholdGB(v); }},
        };
        for (qsizetype i = 0; i < blocks.size(); ++i) {
            const Block& b = blocks[i];
            auto* block = new QWidget;
            auto* column = new QVBoxLayout(block);
            column->setContentsMargins(0, 0, 0, 0);
            column->setSpacing(6);
            QLabel* value = makeText(QString(), mono(14, QFont::Bold), Qt::white);
            value->setObjectName(b.key + QStringLiteral("Value"));
            const auto get = b.get;
            const QString unit = b.unit;
            liveText(value, [get, unit] { return wholeText(get(), unit); });
            QSlider* bar = slider(b.key, b.min, b.max, b.step, b.get, b.set);
            const auto fixed = b.fixed;
            onRefresh([this, value, bar, fixed] {
                const QColor tint = fixed.value_or(accent());
                setInk(value, QPalette::WindowText, tint);
                setInk(bar, QPalette::Highlight, tint);
            });
            column->addWidget(controlRow(makeText(b.title, sysFont(13, QFont::Medium), Qt::white), value));
            column->addWidget(bar);
            column->addWidget(makeText(b.caption, sysFont(10), gray, true));
            card->content()->addWidget(block);
            if (i + 1 < blocks.size()) card->content()->addWidget(divider());
        }
        rows()->addWidget(card);
    }
};

}  // namespace

SettingsPage* makeThresholdsPage(const SettingsEnvironment& env, SettingsViewState& state)
{
    return new ThresholdsPage(env, state);
}
