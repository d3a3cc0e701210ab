#include "ui/snooze/PaplayAlarmSound.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

#include <cmath>

PaplayAlarmSound::PaplayAlarmSound(QString program, QObject* parent) : QObject(parent), m_program(std::move(program)) {}

PaplayAlarmSound::~PaplayAlarmSound() { stop(); }

QString PaplayAlarmSound::findProgram() { return QStandardPaths::findExecutable(QStringLiteral("paplay")); }

QByteArray PaplayAlarmSound::chime()
{
    constexpr int rate = 44100;
    constexpr double tones[] = {1046.5, 784.0, 1046.5, 784.0};  // C6, G5, C6, G5
    constexpr double toneSeconds = 0.16;
    const int perTone = int(rate * toneSeconds);
    const int fade = rate / 200;  // 5 ms in and out, so the tones do not click
    QByteArray samples(int(std::size(tones)) * perTone * 2, Qt::Uninitialized);
    auto* out = reinterpret_cast<uchar*>(samples.data());
    int index = 0;
    for (double frequency : tones) {
        for (int i = 0; i < perTone; ++i) {
            double envelope = 1.0;
            if (i < fade) envelope = double(i) / fade;
            else if (i > perTone - fade) envelope = double(perTone - i) / fade;
            const double value = 0.8 * envelope * std::sin(2.0 * M_PI * frequency * double(i) / rate);
            qToLittleEndian<qint16>(qint16(std::lround(value * 32767.0)), out + 2 * index++);
        }
    }
    return samples;
}

void PaplayAlarmSound::play()
{
    stop();
    if (m_program.isEmpty()) {
        QApplication::beep();
        return;
    }
    auto* process = new QProcess(this);
    m_playing = process;
    connect(process, &QProcess::finished, this, [process](int code, QProcess::ExitStatus status) {
        // paplay could not reach a sound server: the bell at least.
        if (status == QProcess::NormalExit && code != 0) QApplication::beep();
        process->deleteLater();
    });
    connect(process, &QProcess::errorOccurred, this, [process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        QApplication::beep();
        process->deleteLater();
    });
    connect(process, &QProcess::started, process, [process] {
        process->write(chime());
        process->closeWriteChannel();
    });
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(m_program, {QStringLiteral("--raw"), QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
                               QStringLiteral("--channels=1"), QStringLiteral("--volume=65536"),
                               QStringLiteral("--client-name=Veltranmoor"),
                               QStringLiteral("--stream-name=Snooze Guard alarm")});
}

void PaplayAlarmSound::stop()
{
    if (!m_playing) return;
    QProcess* process = m_playing;
    m_playing = nullptr;
    process->disconnect(this);
    // Killed, then reaped by Qt when it reports the end; never waited for here.
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->kill();
}
