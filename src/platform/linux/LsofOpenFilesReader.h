#pragma once

#include "platform/OpenFilesReader.h"

#include <QString>
#include <chrono>

// Runs the open-files tool ("-p PID -Ffn", "-i -a -p PID -Ffn"), reading its output while it
// runs and ending it at the deadline; what it wrote until then is kept. Without the tool (or
// when it cannot start) the fallback reader answers, or nothing when there is none.
class LsofOpenFilesReader final : public OpenFilesReader {
public:
    LsofOpenFilesReader(QString program, std::chrono::milliseconds deadline, OpenFilesReader& fallback);
    LsofOpenFilesReader(QString program, std::chrono::milliseconds deadline);

    QString openFilesFields(int32_t pid) override;
    QString endpointFields(int32_t pid) override;

    // The tool where Linux distributions install it; empty when it is not installed.
    static QString findProgram();

private:
    // nullopt when the tool cannot run at all.
    std::optional<QString> run(const QStringList& arguments) const;

    QString m_program;
    std::chrono::milliseconds m_deadline;
    OpenFilesReader* m_fallback = nullptr;
};
