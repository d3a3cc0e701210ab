#pragma once

#include "platform/AlarmSound.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QProcess;

// The alarm as a short two-tone chime generated here and played at full stream volume through
// paplay (PulseAudio, or PipeWire's pulse server), fed on its standard input. Without paplay, or
// when it cannot play (no sound server), the desktop's bell sounds instead.
class PaplayAlarmSound final : public QObject, public AlarmSound {
    Q_OBJECT
public:
    explicit PaplayAlarmSound(QString program = findProgram(), QObject* parent = nullptr);
    ~PaplayAlarmSound() override;

    static QString findProgram();
    // The chime: signed 16-bit little-endian mono samples at 44.1 kHz.
    static QByteArray chime();

    void play() override;
    void stop() override;

private:
    QString m_program;
    QPointer<QProcess> m_playing;
};
