#include "platform/linux/PactlOutputVolume.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

PactlOutputVolume::PactlOutputVolume(QString program, int timeoutMs, QObject* parent)
    : QObject(parent), m_program(std::move(program)), m_timeoutMs(timeoutMs)
{
}

PactlOutputVolume::~PactlOutputVolume()
{
    // Going away (the application quits): a volume still to be put back is put back now, each
    // run given a short while, so the user is not left at full volume. Readings are dropped.
    if (m_running) {
        m_running->disconnect(this);
        if (!m_running->waitForFinished(m_timeoutMs)) m_running->kill();
    }
    for (const Run& run : m_queue) {
        if (run.done) continue;
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(m_program, run.arguments);
        if (!process.waitForFinished(m_timeoutMs)) process.kill();
        process.waitForFinished(1000);
    }
}

QString PactlOutputVolume::findProgram() { return QStandardPaths::findExecutable(QStringLiteral("pactl")); }

std::optional<OutputVolume::Levels> PactlOutputVolume::parseLevels(const QString& output)
{
    // "Volume: front-left: 19661 /  30% / -31.37 dB,   front-right: 19661 /  30% / -31.37 dB"
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        if (!line.trimmed().startsWith(QStringLiteral("Volume:"))) continue;
        static const QRegularExpression percent(QStringLiteral("/\\s*(\\d{1,4})%\\s*/"));
        Levels levels;
        for (auto it = percent.globalMatch(line); it.hasNext();) levels << it.next().captured(1).toInt();
        if (levels.isEmpty()) return std::nullopt;
        return levels;
    }
    return std::nullopt;
}

void PactlOutputVolume::read(std::function<void(std::optional<Levels>)> done)
{
    enqueue({{QStringLiteral("get-sink-volume"), QStringLiteral("@DEFAULT_SINK@")},
             [done = std::move(done)](bool ok, const QString& output) {
                 done(ok ? parseLevels(output) : std::nullopt);
             }});
}

void PactlOutputVolume::set(const Levels& levels)
{
    if (levels.isEmpty()) return;
    QStringList arguments{QStringLiteral("set-sink-volume"), QStringLiteral("@DEFAULT_SINK@")};
    for (int level : levels) arguments << QString::number(qBound(0, level, 150)) + QLatin1Char('%');
    enqueue({arguments, nullptr});
}

void PactlOutputVolume::enqueue(Run run)
{
    if (m_program.isEmpty()) {
        if (run.done) {
            // Still later, never inside the caller's own call.
            QTimer::singleShot(0, this, [done = std::move(run.done)] { done(false, {}); });
        }
        return;
    }
    m_queue.push_back(std::move(run));
    if (!m_running) startNext();
}

void PactlOutputVolume::startNext()
{
    if (m_queue.empty()) return;
    Run run = std::move(m_queue.front());
    m_queue.pop_front();

    auto* process = new QProcess(this);
    m_running = process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process->setProcessEnvironment(environment);
    process->setStandardInputFile(QProcess::nullDevice());

    auto finished = std::make_shared<bool>(false);
    auto finish = [this, process, finished, done = std::move(run.done)](bool ok) {
        if (*finished) return;
        *finished = true;
        const QString output = ok ? QString::fromUtf8(process->readAllStandardOutput()) : QString();
        if (process->state() != QProcess::NotRunning) process->kill();
        process->deleteLater();
        m_running = nullptr;
        if (done) done(ok, output);
        startNext();
    };
    connect(process, &QProcess::finished, this, [process, finish](int code, QProcess::ExitStatus status) {
        finish(status == QProcess::NormalExit && code == 0);
    });
    connect(process, &QProcess::errorOccurred, this, [finish](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) finish(false);
    });
    // A sound server that does not answer must not hold the queue.
    QTimer::singleShot(m_timeoutMs, process, [process] { process->kill(); });
    process->start(m_program, run.arguments);
}
