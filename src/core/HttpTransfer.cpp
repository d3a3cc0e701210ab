#include "core/HttpTransfer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>

namespace HttpTransfer {

bool isLoopbackHost(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QString refusedText() { return QStringLiteral("refused: the address must use https (plain http only to this computer)"); }

QString refusal(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https") && !url.host().isEmpty()) return {};
    if (scheme == QLatin1String("http") && isLoopbackHost(url.host())) return {};
    return refusedText();
}

QString sizeText(qint64 bytes)
{
    if (bytes >= MiB && bytes % MiB == 0) return QString::number(bytes / MiB) + QStringLiteral(" MiB");
    if (bytes >= 1024 && bytes % 1024 == 0) return QString::number(bytes / 1024) + QStringLiteral(" KiB");
    return QString::number(bytes) + QStringLiteral(" bytes");
}

QString tooLargeText(qint64 cap)
{
    return QStringLiteral("The reply was larger than ") + sizeText(cap) + QStringLiteral(" and was stopped");
}

namespace {

// A status line and headers larger than this are no answer of the services or model servers.
constexpr qsizetype kMaxHead = 64 * 1024;

QString closedEarlyText() { return QStringLiteral("The connection closed before the reply was complete"); }
QString malformedText() { return QStringLiteral("The server's reply is not HTTP"); }

// One exchange on a connection of its own. It lives as a child of the caller's context, so
// the socket closes and nothing is reported when the caller goes first.
class Exchange final : public QObject {
public:
    Exchange(Request request, QDeadlineTimer deadline, int hopsLeft, QObject* context,
             std::function<void(const Outcome&)> done)
        : QObject(context), m_request(std::move(request)), m_deadline(deadline), m_hopsLeft(hopsLeft),
          m_done(std::move(done))
    {
    }

    void start()
    {
        const QString scheme = m_request.url.scheme().toLower();
        const bool tls = scheme == QLatin1String("https");
        if ((!tls && scheme != QLatin1String("http")) || m_request.url.host().isEmpty()) {
            fail(Outcome::Failure::transport, QStringLiteral("Unsupported address"));
            return;
        }
        for (const auto& [name, value] : m_request.headers) {
            // A line break would end the header and start another the caller never set.
            if (name.contains('\r') || name.contains('\n') || value.contains('\r') || value.contains('\n')) {
                fail(Outcome::Failure::transport, QStringLiteral("A request header holds a line break"));
                return;
            }
        }
        if (tls && !QSslSocket::supportsSsl()) {
            fail(Outcome::Failure::transport, QStringLiteral("TLS is not available"));
            return;
        }
        m_socket = tls ? new QSslSocket(this) : new QTcpSocket(this);
        // What arrives is taken at once; Qt's own buffer stays small whatever the peer sends.
        m_socket->setReadBufferSize(256 * 1024);
        connect(m_socket, &QAbstractSocket::readyRead, this, [this] { receive(); });
        connect(m_socket, &QAbstractSocket::disconnected, this, [this] { closed(); });
        connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            // The end of a reply that runs until the connection closes, or a close after it.
            if (error == QAbstractSocket::RemoteHostClosedError) {
                closed();
                return;
            }
            fail(Outcome::Failure::transport, m_socket->errorString());
        });
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] { fail(Outcome::Failure::timedOut); });
        m_timer.start(int(std::max<qint64>(0, m_deadline.remainingTime())));

        const quint16 port = quint16(m_request.url.port(tls ? 443 : 80));
        if (tls) {
            auto* ssl = static_cast<QSslSocket*>(m_socket);
            // The peer's certificate must be valid for this host: no error is ignored.
            connect(ssl, &QSslSocket::encrypted, this, [this] { writeRequest(); });
            ssl->connectToHostEncrypted(m_request.url.host(), port);
        } else {
            connect(m_socket, &QAbstractSocket::connected, this, [this] { writeRequest(); });
            m_socket->connectToHost(m_request.url.host(), port);
        }
    }

private:
    void writeRequest()
    {
        QByteArray target = m_request.url.path(QUrl::FullyEncoded).toUtf8();
        if (target.isEmpty()) target = "/";
        if (m_request.url.hasQuery()) target += '?' + m_request.url.query(QUrl::FullyEncoded).toUtf8();
        QByteArray head = m_request.verb + ' ' + target + " HTTP/1.1\r\nHost: " +
                          m_request.url.authority(QUrl::RemoveUserInfo | QUrl::FullyEncoded).toUtf8() + "\r\n";
        bool agent = false;
        for (const auto& [name, value] : m_request.headers) {
            head += name + ": " + value + "\r\n";
            agent = agent || name.compare("User-Agent", Qt::CaseInsensitive) == 0;
        }
        // As every HTTP stack names itself; some servers (the release feed's) refuse a request
        // without it.
        if (!agent) {
            const QByteArray version = QCoreApplication::applicationVersion().toUtf8();
            head += "User-Agent: Veltranmoor" + (version.isEmpty() ? QByteArray() : '/' + version) + "\r\n";
        }
        if (!m_request.body.isNull()) head += "Content-Length: " + QByteArray::number(m_request.body.size()) + "\r\n";
        head += "Connection: close\r\n\r\n";
        m_socket->write(head + m_request.body);
    }

    void receive()
    {
        if (m_finished) return;
        if (!m_headDone) {
            m_buffer += m_socket->read(kMaxHead + 1 - m_buffer.size());
            if (!parseHead()) return;
        }
        m_buffer += m_socket->readAll();
        takeBody();
    }

    // True once the head of the final answer is parsed (interim 1xx answers are skipped).
    bool parseHead()
    {
        while (!m_headDone) {
            const qsizetype end = m_buffer.indexOf("\r\n\r\n");
            if (end < 0) {
                if (m_buffer.size() > kMaxHead) fail(Outcome::Failure::transport, malformedText());
                return false;
            }
            const QList<QByteArray> lines = m_buffer.left(end).split('\n');
            m_buffer.remove(0, end + 4);
            const QList<QByteArray> status = lines.first().trimmed().split(' ');
            bool ok = false;
            const int code = status.size() >= 2 && status[0].startsWith("HTTP/1.") ? status[1].toInt(&ok) : 0;
            if (!ok || code < 100 || code > 999) {
                fail(Outcome::Failure::transport, malformedText());
                return false;
            }
            if (code < 200 && code != 101) continue;
            m_status = code;
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const QByteArray& line = lines[i];
                const qsizetype colon = line.indexOf(':');
                if (colon <= 0) continue;
                const QByteArray name = line.left(colon).trimmed().toLower();
                const QByteArray value = line.mid(colon + 1).trimmed();
                if (name == "content-length") {
                    bool valid = false;
                    const qint64 length = value.toLongLong(&valid);
                    if (!valid || length < 0) {
                        fail(Outcome::Failure::transport, malformedText());
                        return false;
                    }
                    m_length = length;
                } else if (name == "transfer-encoding") {
                    m_chunked = value.toLower().contains("chunked");
                } else if (name == "location") {
                    m_location = value;
                }
            }
            if (m_chunked) m_length.reset();
            if (m_status == 204 || m_status == 304 || m_request.verb == "HEAD") m_length = 0;
            if (m_length && *m_length > m_request.maxReplyBytes) {
                fail(Outcome::Failure::tooLarge);
                return false;
            }
            m_headDone = true;
        }
        return true;
    }

    void takeBody()
    {
        if (m_finished) return;
        if (m_chunked) {
            takeChunks();
        } else {
            m_body += m_buffer;
            m_buffer.clear();
            if (m_length && m_body.size() >= *m_length) {
                m_body.truncate(*m_length);
                complete();
                return;
            }
        }
        if (!m_finished && m_body.size() > m_request.maxReplyBytes) fail(Outcome::Failure::tooLarge);
    }

    void takeChunks()
    {
        while (!m_finished) {
            if (m_chunkLeft == 0) {
                const qsizetype eol = m_buffer.indexOf("\r\n");
                if (eol < 0) {
                    if (m_buffer.size() > 1024) fail(Outcome::Failure::transport, malformedText());
                    return;
                }
                if (m_trailers) {
                    // The last chunk is followed by optional trailer lines and an empty line.
                    const bool last = eol == 0;
                    m_buffer.remove(0, eol + 2);
                    if (last) complete();
                    continue;
                }
                QByteArray size = m_buffer.left(eol);
                if (const qsizetype semicolon = size.indexOf(';'); semicolon >= 0) size.truncate(semicolon);
                bool ok = false;
                const qint64 chunk = size.trimmed().toLongLong(&ok, 16);
                m_buffer.remove(0, eol + 2);
                if (!ok || chunk < 0) {
                    fail(Outcome::Failure::transport, malformedText());
                    return;
                }
                if (chunk == 0) {
                    m_trailers = true;
                    continue;
                }
                if (m_body.size() + chunk > m_request.maxReplyBytes) {
                    fail(Outcome::Failure::tooLarge);
                    return;
                }
                m_chunkLeft = chunk + 2;  // the data and its line end
            }
            const qsizetype take = qsizetype(std::min<qint64>(m_chunkLeft, m_buffer.size()));
            if (take == 0) return;
            const qsizetype data = qsizetype(std::min<qint64>(take, m_chunkLeft - 2));
            m_body += m_buffer.left(std::max<qsizetype>(0, data));
            m_buffer.remove(0, take);
            m_chunkLeft -= take;
        }
    }

    void closed()
    {
        if (m_finished) return;
        receive();  // what arrived before the close
        if (m_finished) return;
        // A body without a length or chunks runs until the connection closes.
        if (m_headDone && !m_length && !m_chunked) {
            complete();
            return;
        }
        fail(Outcome::Failure::transport, closedEarlyText());
    }

    void complete()
    {
        Outcome outcome;
        outcome.status = m_status;
        outcome.body = std::move(m_body);
        outcome.location = m_location;
        outcome.url = m_request.url;
        if (m_hopsLeft > 0) {
            if (auto next = redirected(outcome)) {
                if (m_deadline.hasExpired()) {
                    fail(Outcome::Failure::timedOut);
                    return;
                }
                finish();
                auto* hop = new Exchange(std::move(*next), m_deadline, m_hopsLeft - 1, parent(), std::move(m_done));
                hop->start();
                return;
            }
        }
        report(outcome);
    }

    // A redirect is followed here only where the caller allows it: to an address no less safe
    // than this one and within the rule for addresses; 301-303 continue as a GET without a
    // body, 307 and 308 keep the verb and body.
    std::optional<Request> redirected(const Outcome& outcome) const
    {
        const int status = outcome.status;
        if (!m_request.followSafeRedirects || outcome.location.isEmpty()) return std::nullopt;
        if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) return std::nullopt;
        const QUrl target = outcome.url.resolved(QUrl(QString::fromUtf8(outcome.location)));
        if (!target.isValid() || target.host().isEmpty() || !refusal(target).isEmpty()) return std::nullopt;
        if (outcome.url.scheme().toLower() == QLatin1String("https") && target.scheme().toLower() != QLatin1String("https"))
            return std::nullopt;
        Request next = m_request;
        next.url = target;
        if (status <= 303) {
            next.verb = QByteArrayLiteral("GET");
            next.body = QByteArray();
            next.headers.removeIf([](const auto& h) { return h.first.compare("Content-Type", Qt::CaseInsensitive) == 0; });
        }
        return next;
    }

    void fail(Outcome::Failure why, const QString& text = QString())
    {
        if (m_finished) return;
        Outcome outcome;
        outcome.failure = why;
        outcome.transportText = text;
        outcome.url = m_request.url;
        report(outcome);
    }

    // Stops the exchange: no more signals, the socket goes, the object later.
    void finish()
    {
        m_finished = true;
        m_timer.stop();
        if (m_socket) {
            m_socket->disconnect(this);
            m_socket->abort();
        }
        deleteLater();
    }

    void report(const Outcome& outcome)
    {
        finish();
        // The caller may delete its context, and this exchange with it, from `done`.
        const auto done = std::move(m_done);
        if (done) done(outcome);
    }

    Request m_request;
    QDeadlineTimer m_deadline;
    int m_hopsLeft;
    std::function<void(const Outcome&)> m_done;
    QTcpSocket* m_socket = nullptr;
    QTimer m_timer;
    QByteArray m_buffer;
    QByteArray m_body;
    QByteArray m_location;
    int m_status = 0;
    std::optional<qint64> m_length;
    bool m_chunked = false;
    qint64 m_chunkLeft = 0;
    bool m_trailers = false;
    bool m_headDone = false;
    bool m_finished = false;
};

}  // namespace

void send(const Request& request, QObject* context, std::function<void(const Outcome&)> done)
{
    auto* exchange = new Exchange(request, QDeadlineTimer(request.timeout, Qt::PreciseTimer), 5, context, std::move(done));
    // Started from the event loop, so `done` never runs inside the caller's own call.
    QTimer::singleShot(0, exchange, [exchange] { exchange->start(); });
}

}  // namespace HttpTransfer
