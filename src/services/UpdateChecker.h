#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class Clock;
struct HttpOutcome;

// The running version (the application's version), "unknown" when it has none.
QString currentAppVersion();

// Whether `latest` is newer than `current`: both split at "." (empty pieces dropped), each
// piece a signed decimal integer or 0, the shorter padded with 0, compared piece by piece.
bool compareVersions(const QString& latest, const QString& current);

// Asks the release feed for the newest published version when the user asks, and publishes
// the verdict; opens the page of a newer release. Main thread; nothing checks on a schedule.
class UpdateChecker : public QObject {
    Q_OBJECT
public:
    struct State {
        enum class Kind { upToDate, updateAvailable, failed, idle, checking };
        Kind kind = Kind::idle;
        QString current;  // upToDate, updateAvailable
        QString latest;   // updateAvailable: the feed's version without its leading "v"
        QString url;      // updateAvailable: the release's page
        QString message;  // failed

        static State upToDate(QString current) { return {Kind::upToDate, std::move(current), {}, {}, {}}; }
        static State updateAvailable(QString current, QString latest, QString url)
        {
            return {Kind::updateAvailable, std::move(current), std::move(latest), std::move(url), {}};
        }
        static State failed(QString message) { return {Kind::failed, {}, {}, {}, std::move(message)}; }
        static State checking() { return {Kind::checking, {}, {}, {}, {}}; }
        bool operator==(const State&) const = default;
    };

    static inline const QString defaultFeed =
        QStringLiteral("https://api.github.com/repos/brellowquint/veltranmoor/releases/latest");
    static inline const QString defaultDownloadPage = QStringLiteral("https://veltranmoor.app/download");

    struct Config {
        QString latestReleaseAPI = defaultFeed;
        QString downloadPage = defaultDownloadPage;
        std::chrono::milliseconds timeout{12000};
        // Opens a page in the default browser (QDesktopServices::openUrl).
        std::function<void(const QUrl&)> openUrl;
    };

    explicit UpdateChecker(const Clock& clock, QObject* parent = nullptr);
    UpdateChecker(const Clock& clock, Config config, QObject* parent = nullptr);
    static UpdateChecker& shared();

    const State& state() const { return m_state; }
    const std::optional<QDateTime>& lastChecked() const { return m_lastChecked; }
    const QString& latestReleaseAPI() const { return m_config.latestReleaseAPI; }
    const QString& downloadPage() const { return m_config.downloadPage; }

    // Starts one check unless one is under way.
    void fetchLatestRelease();
    // Opens the page of an available update, otherwise the product's page.
    void openDownloadPage();
    // Handles the feed's answer.
    void parseRelease(const HttpOutcome& outcome);

Q_SIGNALS:
    // state or lastChecked changed.
    void changed();

private:
    void setState(State state);

    const Clock& m_clock;
    Config m_config;
    State m_state;
    std::optional<QDateTime> m_lastChecked;
};
