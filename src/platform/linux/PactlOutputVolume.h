#pragma once

#include "platform/OutputVolume.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>

class QProcess;

// The default output's volume through pactl (PulseAudio, or PipeWire's pulse server). Each
// request is one pactl run; runs go one after another in the order asked, so a restore never
// overtakes the raise before it. Never waits on the calling thread.
class PactlOutputVolume final : public QObject, public OutputVolume {
    Q_OBJECT
public:
    // `program` empty: pactl is not installed; every read then yields nothing.
    explicit PactlOutputVolume(QString program = findProgram(), int timeoutMs = 5000, QObject* parent = nullptr);
    ~PactlOutputVolume() override;

    static QString findProgram();
    // The channel levels of `pactl get-sink-volume` output, or nothing.
    static std::optional<Levels> parseLevels(const QString& output);

    void read(std::function<void(std::optional<Levels>)> done) override;
    void set(const Levels& levels) override;

private:
    struct Run {
        QStringList arguments;
        std::function<void(bool ok, const QString& output)> done;
    };
    void enqueue(Run run);
    void startNext();

    QString m_program;
    int m_timeoutMs;
    std::deque<Run> m_queue;
    QProcess* m_running = nullptr;
};
