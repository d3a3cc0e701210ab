#include "services/UpdateChecker.h"

#include "core/Clock.h"
#include "services/HttpExchange.h"
#include "services/ServiceEndpoint.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>

QString currentAppVersion()
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral("unknown") : version;
}

namespace {

// A decimal integer with an optional sign, in full and within 64 bits; anything else is 0.
qint64 versionPiece(QStringView piece)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < piece.size() && (piece[i] == u'+' || piece[i] == u'-')) {
        negative = piece[i] == u'-';
        ++i;
    }
    if (i == piece.size()) return 0;
    // Accumulated negatively, so the most negative value fits too.
    qint64 value = 0;
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    for (; i < piece.size(); ++i) {
        const char16_t c = piece[i].unicode();
        if (c < u'0' || c > u'9') return 0;
        const int digit = c - u'0';
        if (value < (min + digit) / 10) return 0;
        value = value * 10 - digit;
    }
    if (negative) return value;
    if (value == min) return 0;
    return -value;
}

QList<qint64> versionPieces(const QString& version)
{
    QList<qint64> pieces;
    for (const QStringView piece : QStringView(version).split(u'.', Qt::SkipEmptyParts)) pieces.append(versionPiece(piece));
    return pieces;
}

bool isWebPage(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

}  // namespace

bool compareVersions(const QString& latest, const QString& current)
{
    const QList<qint64> a = versionPieces(latest);
    const QList<qint64> b = versionPieces(current);
    const qsizetype n = std::max(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const qint64 l = a.value(i, 0);
        const qint64 c = b.value(i, 0);
        if (l != c) return c < l;
    }
    return false;
}

UpdateChecker::UpdateChecker(const Clock& clock, QObject* parent) : UpdateChecker(clock, Config{}, parent) {}

UpdateChecker::UpdateChecker(const Clock& clock, Config config, QObject* parent)
    : QObject(parent), m_clock(clock), m_config(std::move(config))
{
    if (!m_config.openUrl) m_config.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

void UpdateChecker::setState(State state)
{
    m_state = std::move(state);
    Q_EMIT changed();
}

void UpdateChecker::fetchLatestRelease()
{
    if (m_state.kind == State::Kind::checking) return;
    setState(State::checking());
    const std::optional<QUrl> url = ServiceEndpoint::parse(m_config.latestReleaseAPI);
    if (!url) {
        setState(State::failed(QStringLiteral("Bad update URL")));
        return;
    }
    if (const QString refused = ServiceEndpoint::refusal(*url); !refused.isEmpty()) {
        setState(State::failed(refused));
        return;
    }
    HttpExchange::Request request;
    request.url = *url;
    request.headers = {{"Accept", "application/vnd.github+json"}};
    request.timeout = m_config.timeout;
    request.followSafeRedirects = true;
    HttpExchange::send(request, this, [this](const HttpOutcome& outcome) { parseRelease(outcome); });
}

void UpdateChecker::parseRelease(const HttpOutcome& outcome)
{
    m_lastChecked = m_clock.now();
    if (outcome.transportError) {
        setState(State::failed(*outcome.transportError));
        return;
    }
    // An error page is not a release, whatever its body holds.
    if (!outcome.success()) {
        setState(State::failed(outcome.failureText()));
        return;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(outcome.body, &error);
    const QJsonValue tag = document.object().value(QLatin1String("tag_name"));
    if (error.error != QJsonParseError::NoError || !document.isObject() || !tag.isString()) {
        setState(State::failed(QStringLiteral("Could not read the release feed")));
        return;
    }
    QString latest = tag.toString();
    if (latest.startsWith(QLatin1Char('v'))) latest.remove(0, 1);
    const QString current = currentAppVersion();
    const QJsonValue page = document.object().value(QLatin1String("html_url"));
    const QString url = page.isString() ? page.toString() : m_config.downloadPage;
    if (compareVersions(latest, current)) {
        setState(State::updateAvailable(current, latest, url));
    } else {
        setState(State::upToDate(current));
    }
}

void UpdateChecker::openDownloadPage()
{
    // Only a web page is opened: the feed's text could name any scheme the desktop handles.
    if (m_state.kind == State::Kind::updateAvailable) {
        const QUrl url(m_state.url, QUrl::StrictMode);
        if (isWebPage(url)) {
            m_config.openUrl(url);
            return;
        }
    }
    const QUrl page(m_config.downloadPage, QUrl::StrictMode);
    if (isWebPage(page)) m_config.openUrl(page);
}
