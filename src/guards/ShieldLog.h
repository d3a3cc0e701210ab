#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

class Clock;
class Executor;

// ai-shield.log: one line per event, "[" UTC time "] " message, only ever appended. Lines are
// stamped when they are handed in and written in that order on the shield's serial queue. A
// line that cannot be written is lost without a word.
class ShieldLog {
public:
    ShieldLog(QString path, const Clock& clock, Executor& queue);

    const QString& path() const { return m_path; }
    void append(const QString& message);

    // The line as written: a line break or other control character inside the message is
    // written escaped, so one event is always one line.
    static QByteArray formatLine(const QDateTime& at, const QString& message);

private:
    QString m_path;
    const Clock& m_clock;
    Executor& m_queue;
};
