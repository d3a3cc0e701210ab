#pragma once

#include "platform/HostFacts.h"

// The host name (gethostname), the operating system's name (PRETTY_NAME of os-release), the
// CPU's model name (/proc/cpuinfo) and the memory size (MemTotal of /proc/meminfo). The roots
// are the folders holding os-release and cpuinfo/meminfo, so tests read fixtures.
class LinuxHostFacts final : public HostFactsSource {
public:
    explicit LinuxHostFacts(QString etcRoot = QStringLiteral("/etc"), QString procRoot = QStringLiteral("/proc"));
    HostFacts read() const override;

    // PRETTY_NAME of an os-release text, unquoted; empty when missing.
    static QString prettyName(const QByteArray& osRelease);
    // The first "model name" (x86) or "Processor"/"Hardware" value (ARM) of a cpuinfo text.
    static QString cpuModel(const QByteArray& cpuinfo);

private:
    QString m_etc;
    QString m_proc;
};
