// AI Shield and the watchers at this machine's size. Prints, one per line: the CPU time of one
// process-watch poll (the process table read and matched against the AI names), the wall time
// of one open-files listing of this process through lsof and through /proc, and the wall time
// of one watcher sweep of a folder of 2,000 loose files (a tenth of them duplicates). Medians.
#include "core/AppSettings.h"
#include "core/Clock.h"
#include "core/UserDefaults.h"
#include "guards/AIShield.h"
#include "guards/TavrilonWatcher.h"
#include "platform/linux/LsofOpenFilesReader.h"
#include "platform/linux/ProcOpenFilesReader.h"
#include "platform/linux/ProcProcessInventory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/data")));

    // One poll: what the shield's queue does every 10 s.
    ProcProcessInventory inventory;
    std::vector<double> poll;
    int processes = 0;
    for (int i = 0; i < 21; ++i) {
        const double start = threadCpuMs();
        const auto list = inventory.listProcesses();
        int matched = 0;
        if (list) {
            processes = int(list->size());
            for (const ProcessBrief& p : *list) {
                if (AIShield::matchesSignature(p.name) && inventory.arguments(p.pid)) ++matched;
            }
        }
        poll.push_back(threadCpuMs() - start);
    }
    std::printf("processes %d\n", processes);
    std::printf("shield_poll_cpu_ms %.2f\n", median(poll));

    ProcOpenFilesReader proc;
    LsofOpenFilesReader lsof(LsofOpenFilesReader::findProgram(), std::chrono::seconds(5), proc);
    std::vector<double> viaLsof, viaProc;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        lsof.openFilesFields(int32_t(::getpid()));
        viaLsof.push_back(double(t.nsecsElapsed()) / 1e6);
        t.restart();
        proc.openFilesFields(int32_t(::getpid()));
        viaProc.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::printf("open_files_lsof_ms %.1f\n", median(viaLsof));
    std::printf("open_files_proc_ms %.2f\n", median(viaProc));

    // A sweep of 2,000 files that rested long enough.
    const QString folder = home.path() + QStringLiteral("/Downloads");
    ::mkdir(QFile::encodeName(folder).constData(), 0755);
    const char* exts[] = {"jpg", "pdf", "zip", "mp3", "py", "txt", "csv", "png"};
    for (int i = 0; i < 2000; ++i) {
        const QByteArray path = QFile::encodeName(folder) + "/file" + QByteArray::number(i) + '.' + exts[i % 8];
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const QByteArray body = QByteArray::number(i % 1800).repeated(200);
        if (fd < 0 || ::write(fd, body.constData(), size_t(body.size())) < 0) return 1;
        ::close(fd);
        const timespec old[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
        ::utimensat(AT_FDCWD, path.constData(), old, 0);
    }
    SystemClock clock;
    QtScheduler scheduler;
    UserDefaults defaults(home.path() + QStringLiteral("/settings.json"));
    AppSettings settings(defaults, clock);
    TavrilonWatcher watcher({.settings = settings,
                             .scheduler = scheduler,
                             .clock = clock,
                             .askModel = [](const QString&, auto done) { done(std::nullopt); }});
    settings.addWatchTarget(QUrl::fromLocalFile(folder), 24);
    QEventLoop loop;
    QObject::connect(&watcher, &TavrilonWatcher::sweepFinished, &loop, &QEventLoop::quit);
    QElapsedTimer t;
    t.start();
    watcher.sweepDueTargets();
    loop.exec();
    std::printf("watcher_sweep_2000_files_ms %.0f\n", double(t.nsecsElapsed()) / 1e6);
    return 0;
}
