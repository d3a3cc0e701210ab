#include "actions/MaintenanceTools.h"

#include "actions/ProgramRestart.h"
#include "platform/ProcessControl.h"

#include "core/Clock.h"
#include "core/MainThread.h"
#include "core/Paths.h"
#include "monitoring/MonitorState.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QStringDecoder>
#include <QThread>
#include <QTimeZone>

#include <algorithm>
#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

// What the worker threads need, fixed at construction so they never read the instance.
struct MaintenanceTools::Context {
    Tools tools;
    const WakeupSourceReader* wakeups = nullptr;
    ProcessControl* processes = nullptr;
    mutable std::atomic_bool stopping{false};
    // Whether a listing through the administrator prompt was made in this session.
    mutable std::atomic_bool listedAsAdministrator{false};
};

namespace {

using Context = MaintenanceTools::Context;
using ProcessResult = MaintenanceTools::ProcessResult;
using AdminShellResult = MaintenanceTools::AdminShellResult;

constexpr int kCancelled = 126;  // pkexec: the authentication dialog was dismissed

QString decodeUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

ProcessResult runTool(const Context& context, const QString& path, const QStringList& arguments,
                      std::chrono::milliseconds limit)
{
    ProcessResult result;
    QProcess process;
    process.setProgram(path);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    QDeadlineTimer deadline(limit);
    process.start();
    if (!process.waitForStarted(int(std::max<qint64>(1, deadline.remainingTime())))) {
        result.errorOutput = process.errorString();
        process.kill();
        process.waitForFinished(1000);
        return result;
    }
    // waitForFinished reads both pipes while it waits, so a chatty tool never stalls on a full
    // pipe; short slices let shutdown stop a tool that is waiting for the user.
    bool finished = false;
    while (!(finished = process.waitForFinished(100))) {
        if (process.state() == QProcess::NotRunning) break;
        if (deadline.hasExpired() || context.stopping.load()) break;
    }
    if (!finished && process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(2000);
        result.output = decodeUtf8(process.readAllStandardOutput());
        result.errorOutput = context.stopping.load()
                                 ? QStringLiteral("Stopped")
                                 : QStringLiteral("Timed out after %1 s").arg(double(limit.count()) / 1000.0);
        return result;
    }
    result.output = decodeUtf8(process.readAllStandardOutput());
    result.errorOutput = decodeUtf8(process.readAllStandardError());
    if (process.exitStatus() == QProcess::NormalExit) {
        result.status = process.exitCode();
    } else if (result.errorOutput.isEmpty()) {
        result.errorOutput = process.errorString();
    }
    return result;
}

// The command is a constant of this program; anything variable travels as a positional
// parameter ("$1" ...), never inside the command text.
AdminShellResult runAdmin(const Context& context, const QString& command, const QStringList& arguments)
{
    QStringList argv{context.tools.shell, QStringLiteral("-c"), command};
    if (!arguments.isEmpty()) argv << QStringLiteral("sh") << arguments;
    const ProcessResult run = runTool(context, context.tools.pkexec, argv, context.tools.adminDeadline);
    AdminShellResult result;
    if (run.status == 0) {
        result.success = true;
        result.output = run.output;
        return result;
    }
    if (run.status == kCancelled) {
        result.error = QStringLiteral("Cancelled");
    } else if (const QString text = run.errorOutput.trimmed(); !text.isEmpty()) {
        result.error = text;
    } else {
        result.error = QStringLiteral("Unknown error");
    }
    return result;
}

QString failureText(const ProcessResult& run)
{
    const QString text = run.errorOutput.trimmed();
    return text.isEmpty() ? QStringLiteral("exit ") + QString::number(run.status) : text;
}

// Runs a user fix's executables. killall exits 1 when no process of that name runs, which is
// not a failure; it moves on to the next alternative, and the last one's answer stands.
std::pair<bool, QString> runUserExecs(const Context& context, const QList<QuickFix::Exec>& execs)
{
    if (execs.isEmpty()) return {false, QStringLiteral("misconfigured fix")};
    for (qsizetype i = 0; i < execs.size(); ++i) {
        const QuickFix::Exec& exec = execs[i];
        const ProcessResult run = runTool(context, exec.path, exec.args, context.tools.processDeadline);
        const bool noSuchProcess = run.status == 1 && exec.path.endsWith(QLatin1String("all"));
        if (noSuchProcess && i + 1 < execs.size()) continue;
        if (run.status == 0 || noSuchProcess) return {true, QString()};
        return {false, failureText(run)};
    }
    return {false, QStringLiteral("misconfigured fix")};
}

// Waits on a worker thread until the process has exited or the time is up.
bool waitForExit(ProcessHandle& handle, std::chrono::milliseconds limit, const Context& context)
{
    QDeadlineTimer deadline(limit);
    while (handle.isRunning()) {
        if (deadline.hasExpired() || context.stopping.load()) return false;
        QThread::msleep(20);
    }
    return true;
}

// Stops the first of `names` that runs as this user and starts it again: through its systemd
// user unit when one runs it, else with its own command line, detached. The message says what
// happened.
std::pair<bool, QString> restartFirstRunning(const Context& context, const QStringList& names)
{
    const uid_t uid = ::getuid();
    for (const QString& name : names) {
        const QList<RunningProgram> running = ProgramRestart::findOwn(context.tools.procRoot, name, uid);
        if (running.isEmpty()) continue;
        const RunningProgram& program = running.first();

        if (program.userUnit) {
            const ProcessResult run =
                runTool(context, context.tools.systemctl, {QStringLiteral("--user"), QStringLiteral("restart"), *program.userUnit},
                        context.tools.processDeadline);
            if (run.status != 0) return {false, name + QStringLiteral(" could not be restarted: ") + failureText(run)};
            return {true, QStringLiteral("Restarted ") + name + QStringLiteral(" (") + *program.userUnit + QLatin1Char(')')};
        }

        if (program.argv.isEmpty()) return {false, name + QStringLiteral(" has no command line to start it again with")};
        for (const RunningProgram& instance : running) {
            // Found as this user's just now, and only that very process is stopped.
            const OpenedProcess opened = context.processes->openProcess({instance.pid, instance.startTime}, ProcessOwner::thisUser);
            if (opened.status.leftAlone()) continue;  // gone already
            if (!opened) return {false, name + QStringLiteral(" could not be stopped: ") + opened.status.error()};
            const std::shared_ptr<ProcessHandle> handle = opened.handle;
            if (const ProcessStatus sent = handle->sendSignal(SIGTERM); !sent && !sent.leftAlone()) {
                return {false, name + QStringLiteral(" could not be stopped: ") + sent.error()};
            }
            if (!waitForExit(*handle, context.tools.exitWait, context)) {
                (void)handle->sendSignal(SIGKILL);
                if (!waitForExit(*handle, std::chrono::seconds(2), context)) {
                    return {false, name + QStringLiteral(" did not stop")};
                }
            }
        }
        // Some sessions start their file manager or panel again by themselves.
        QThread::msleep(uint(context.tools.sessionRestartWait.count()));
        if (!ProgramRestart::findOwn(context.tools.procRoot, name, uid).isEmpty()) {
            return {true, QStringLiteral("Restarted ") + name + QStringLiteral(" (the session started it again)")};
        }
        qint64 pid = 0;
        if (!QProcess::startDetached(program.argv.first(), program.argv.mid(1), program.workingDirectory, &pid)) {
            return {false, name + QStringLiteral(" stopped but could not be started again")};
        }
        return {true, QStringLiteral("Restarted ") + name};
    }
    return {true, QString::fromLatin1(MaintenanceTools::nothingToRestartText) + QStringLiteral(": none of ") + names.join(QStringLiteral(", ")) + QStringLiteral(" is running")};
}

void onMainThread(std::function<void()> work)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

const QString kDnsCommand = QStringLiteral("resolvectl flush-caches");
const QString kSnapperListCommand = QStringLiteral("snapper --utc --iso --csvout list");
// Deletes the numbers given as parameters one by one; prints a line "N error" for each one
// that failed, its error folded onto that line.
const QString kSnapperDeleteCommand = QStringLiteral(
    "for n do if ! e=$(snapper delete \"$n\" 2>&1 >/dev/null); then "
    "printf '%s %s\\n' \"$n\" \"$(printf '%s' \"$e\" | tr '\\n' ' ')\"; fi; done; exit 0");

bool isSnapshotNumber(const QString& name)
{
    if (name.isEmpty() || name.size() > 9) return false;
    for (QChar c : name) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    }
    return name.toInt() > 0;  // 0 is the live system, never a snapshot to delete
}

QStringList groupsOf(const QString& userName)
{
    const QByteArray name = userName.toLocal8Bit();
    const passwd* entry = ::getpwnam(name.constData());
    if (!entry) return {};
    int count = 64;
    std::vector<gid_t> ids(static_cast<size_t>(count));
    if (::getgrouplist(name.constData(), entry->pw_gid, ids.data(), &count) < 0) {
        ids.resize(size_t(count));
        if (::getgrouplist(name.constData(), entry->pw_gid, ids.data(), &count) < 0) return {};
    }
    QStringList names;
    for (int i = 0; i < count; ++i) {
        if (const group* g = ::getgrgid(ids[size_t(i)])) names << QString::fromLocal8Bit(g->gr_name);
    }
    return names;
}

bool snapperNeedsAdmin(const Context& context)
{
    if (context.tools.userName == QLatin1String("root")) return false;
    QFile file(context.tools.snapperConfig);
    if (!file.open(QIODevice::ReadOnly)) return true;
    return !MaintenanceTools::snapperAllowsUser(QString::fromUtf8(file.read(1 << 20)), context.tools.userName,
                                                context.tools.userGroups);
}

// Deletes the given snapshots; answers the names that could not be deleted and, for a single
// one, the tool's error text.
std::pair<QStringList, QString> deleteSnapshots(const Context& context, const QStringList& numbers)
{
    if (numbers.isEmpty()) return {};
    if (snapperNeedsAdmin(context)) {
        const AdminShellResult result = runAdmin(context, kSnapperDeleteCommand, numbers);
        if (!result.success) return {numbers, result.error.value_or(QString())};
        QStringList failed;
        QString error;
        for (const QString& line : result.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString number = line.section(QLatin1Char(' '), 0, 0);
            if (!numbers.contains(number) || failed.contains(number)) continue;
            failed << number;
            error = line.section(QLatin1Char(' '), 1).trimmed();
        }
        return {failed, error};
    }
    QStringList failed;
    QString error;
    for (const QString& number : numbers) {
        if (context.stopping.load()) {
            failed << number;
            continue;
        }
        const ProcessResult run = runTool(context, context.tools.snapper, {QStringLiteral("delete"), number},
                                          context.tools.processDeadline);
        if (run.status != 0) {
            failed << number;
            error = failureText(run);
        }
    }
    return {failed, error};
}

struct WakeLabel {
    const char* key;
    const char* label;
};

constexpr WakeLabel kWakeReasonLabels[] = {
    {"EHC1", "USB device"},
    {"EHC2", "USB device"},
    {"XHC1", "USB device"},
    {"XHC2", "USB device"},
    {"XHC3", "USB device"},
    {"XHC0", "USB device"},
    {"BT.OOB", "Bluetooth"},
    {"OHC1", "Bluetooth"},
    {"OHC2", "Bluetooth"},
    {"PWRB", "Power button"},
    {"LID0", "Lid open"},
    {"EC.LIDOPEN", "Lid open"},
    {"EC.LidOpen", "Lid open"},
    {"RTC", "Scheduled wake"},
    {"EC.PRDW", "Scheduled wake"},
    {"ARPT", "Wi-Fi network"},
    {"WIFI", "Wi-Fi network"},
    {"EC.SleepWake", "Wi-Fi network"},
    {"EC.FanOff", "Thermal"},
    {"Maintenance", "Background maintenance"},
    {"BackgroundTask", "Background maintenance"},
};

// Linux names of wake-up sources, matched without regard to case, and the key of the label
// table they stand for.
struct SourceKey {
    const char* fragment;
    const char* key;
};

constexpr SourceKey kSourceKeys[] = {
    {"PNP0C0D", "LID0"},  {"lid", "LID0"},        {"PNP0C0C", "PWRB"},   {"PNP0C0E", "PWRB"},
    {"LNXPWRBN", "PWRB"}, {"power", "PWRB"},      {"alarmtimer", "RTC"}, {"rtc", "RTC"},
    {"xhci", "XHC1"},     {"ehci", "XHC1"},       {"usb", "XHC1"},       {"bluetooth", "BT.OOB"},
    {"hci", "BT.OOB"},    {"wlan", "WIFI"},       {"wlp", "WIFI"},       {"wifi", "WIFI"},
    {"iwlwifi", "WIFI"},   {"wi-fi", "WIFI"},     {"wireless", "WIFI"},
};

// A reading further than this behind the wall clock, against the time awake, means a sleep.
constexpr qint64 kSleepGapMs = 30'000;
// How much later than the first reading after a sleep the journal may place the wake.
constexpr qint64 kWakeSlackMs = 10'000;
constexpr qint64 kRiseKeepMs = 7 * 86'400'000LL;
constexpr qsizetype kRiseKeepCount = 500;

std::chrono::milliseconds awakeNow()
{
    // CLOCK_MONOTONIC: it does not advance while the machine sleeps.
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

// The label key of a source's kind, from its name or its device's name.
const char* sourceKey(const QString& text)
{
    for (const SourceKey& entry : kSourceKeys) {
        if (text.contains(QLatin1String(entry.fragment), Qt::CaseInsensitive)) return entry.key;
    }
    return nullptr;
}

QString trimBlanksAndTabs(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return text.mid(begin, end - begin);
}

// "+hhmm" or "+hh:mm" to seconds east of UTC.
std::optional<int> parseOffset(QStringView text)
{
    if (text == QLatin1String("Z")) return 0;
    if (text.size() != 5 && text.size() != 6) return std::nullopt;
    const QChar sign = text[0];
    if (sign != QLatin1Char('+') && sign != QLatin1Char('-')) return std::nullopt;
    QString digits = text.mid(1).toString();
    if (digits.size() == 5) {
        if (digits[2] != QLatin1Char(':')) return std::nullopt;
        digits.remove(2, 1);
    }
    for (QChar c : digits) {
        if (!c.isDigit() || c.unicode() > '9') return std::nullopt;
    }
    const int hours = digits.left(2).toInt();
    const int minutes = digits.mid(2).toInt();
    if (hours > 18 || minutes > 59) return std::nullopt;
    const int seconds = hours * 3600 + minutes * 60;
    return sign == QLatin1Char('-') ? -seconds : seconds;
}

// "yyyy-MM-dd", one separator character, "HH:mm:ss"; read at a fixed offset, so no local
// daylight-saving gap can shift or void it.
QDateTime parseLocalPart(QStringView text, int offsetSeconds)
{
    if (text.size() != 19) return {};
    const QDate date = QDate::fromString(text.left(10).toString(), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11).toString(), QStringLiteral("HH:mm:ss"));
    if (!date.isValid() || !time.isValid()) return {};
    return QDateTime(date, time, QTimeZone(offsetSeconds)).toUTC();
}

// "yyyy-MM-dd HH:mm:ss +hhmm", the first 25 characters of a wake line.
QDateTime parseWakeTime(QStringView text)
{
    if (text.size() != 25 || text[10] != QLatin1Char(' ') || text[19] != QLatin1Char(' ')) return {};
    const std::optional<int> offset = parseOffset(text.mid(20));
    if (!offset) return {};
    return parseLocalPart(text.left(19), *offset);
}

// The journal's short-iso time: "yyyy-MM-ddTHH:mm:ss" and "+hhmm", "+hh:mm" or "Z".
QDateTime parseJournalTime(QStringView token)
{
    if (token.size() < 20 || token[10] != QLatin1Char('T')) return {};
    const std::optional<int> offset = parseOffset(token.mid(19));
    if (!offset) return {};
    return parseLocalPart(token.left(19), *offset);
}

}  // namespace

MaintenanceTools::MaintenanceTools(MonitorState& monitor, const Clock& clock, const WakeupSourceReader& wakeups,
                                   ProcessControl& processes)
    : MaintenanceTools(monitor, clock, wakeups, processes, Tools{})
{
}

MaintenanceTools::MaintenanceTools(MonitorState& monitor, const Clock& clock, const WakeupSourceReader& wakeups,
                                   ProcessControl& processes, Tools tools, QObject* parent)
    : QObject(parent), m_monitor(monitor), m_clock(clock)
{
    if (tools.userName.isEmpty()) {
        if (const passwd* entry = ::getpwuid(::geteuid())) tools.userName = QString::fromLocal8Bit(entry->pw_name);
    }
    if (tools.userGroups.isEmpty()) tools.userGroups = groupsOf(tools.userName);
    if (tools.applicationsDir.isEmpty()) tools.applicationsDir = Paths::home() + QStringLiteral("/.local/share/applications");

    m_quickFixes = {
        {QStringLiteral("finder"), QStringLiteral("faceid"), QStringLiteral("Restart Files"),
         QStringLiteral("Fixes frozen desktop icons, stuck copies, unresponsive Files windows"),
         QStringLiteral("Restart"), false, QString(), {},
         {"nautilus", "dolphin", "nemo", "thunar", "caja", "pcmanfm-qt", "pcmanfm"}, QStringLiteral("Files restarted")},
        {QStringLiteral("dock"), QStringLiteral("dock.rectangle"), QStringLiteral("Restart Panel"),
         QStringLiteral("Fixes a frozen Panel, broken window manager, stuck app switcher"), QStringLiteral("Restart"),
         false, QString(), {}, {"plasmashell", "xfce4-panel", "mate-panel", "lxqt-panel", "lxpanel"},
         QStringLiteral("Panel restarted")},
        {QStringLiteral("purge"), QStringLiteral("memorychip"), QStringLiteral("Purge Inactive Memory"),
         QStringLiteral("Forces Linux to release inactive memory \u2014 instant relief under pressure"),
         QStringLiteral("Purge"), true, QStringLiteral("sync; echo 3 > /proc/sys/vm/drop_caches"), {},
         {}, QStringLiteral("Inactive memory purged")},
        {QStringLiteral("spotlight"), QStringLiteral("magnifyingglass"), QStringLiteral("Rebuild Search Index"),
         QStringLiteral("Fixes broken search and runaway Search Index (tracker / baloo) CPU. Reindex runs in background"),
         QStringLiteral("Rebuild"), true, QStringLiteral("updatedb"), {},
         {}, QStringLiteral("Search Index reindex started")},
        {QStringLiteral("launchservices"), QStringLiteral("app.badge"), QStringLiteral("Rebuild Application Database"),
         QStringLiteral("Fixes wrong 'Open With' apps, duplicate entries, files opening in the wrong app"),
         QStringLiteral("Rebuild"), false, QString(), {{tools.updateDesktopDatabase, {tools.applicationsDir}}},
         {}, QStringLiteral("Application Database rebuilt")},
        {QStringLiteral("fontcache"), QStringLiteral("textformat"), QStringLiteral("Clear Font Caches"),
         QStringLiteral("Fixes garbled or missing text in apps after font installs/removals"), QStringLiteral("Clear"),
         true, QStringLiteral("fc-cache -r -s"), {}, {}, QStringLiteral("Font caches cleared")},
    };

    auto context = std::make_shared<Context>();
    context->tools = std::move(tools);
    context->wakeups = &wakeups;
    context->processes = &processes;
    m_context = std::move(context);
    m_pool.setMaxThreadCount(4);

    const std::chrono::milliseconds interval = m_context->tools.wakeupReadInterval;
    if (interval > std::chrono::milliseconds::zero()) {
        m_wakeupTimer.setInterval(interval);
        connect(&m_wakeupTimer, &QTimer::timeout, this, &MaintenanceTools::readWakeupSourcesLater);
        m_wakeupTimer.start();
        readWakeupSourcesLater();
        // The login manager says when the machine goes to sleep and when it is back: a reading
        // at each narrows what rose across the sleep to the wake itself.
        QDBusConnection::systemBus().connect(QStringLiteral("org.freedesktop.login1"),
                                             QStringLiteral("/org/freedesktop/login1"),
                                             QStringLiteral("org.freedesktop.login1.Manager"),
                                             QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)));
    }
}

void MaintenanceTools::onPrepareForSleep(bool sleeping)
{
    Q_UNUSED(sleeping);
    readWakeupSourcesLater();
}

void MaintenanceTools::readWakeupSourcesLater()
{
    QPointer<MaintenanceTools> self(this);
    startTask([context = m_context, self] {
        if (context->stopping.load()) return;
        const QList<WakeupSource> sources = context->wakeups->wakeupSources();
        // Both clocks right after the read: should the machine sleep before the result is
        // handled, the reading still carries the moment its counts belong to.
        const QDateTime time = QDateTime::currentDateTimeUtc();
        const std::chrono::milliseconds awake = awakeNow();
        onMainThread([self, time, awake, sources] {
            if (self) self->recordWakeupSources(time, awake, sources);
        });
    });
}

void MaintenanceTools::recordWakeupSources(const QDateTime& time, std::chrono::milliseconds awake,
                                           const QList<WakeupSource>& sources)
{
    // Readings finish out of order now and then (two workers): an older one changes nothing.
    if (m_lastWakeupReading && (time < m_lastWakeupReading->time || awake < m_lastWakeupReading->awake)) return;
    if (m_lastWakeupReading) {
        const qint64 wallMs = m_lastWakeupReading->time.msecsTo(time);
        const qint64 awakeMs = (awake - m_lastWakeupReading->awake).count();
        if (wallMs - awakeMs > kSleepGapMs) {
            m_wakeupRises.append(WakeupRise{m_lastWakeupReading->time, time, risenSources(m_lastWakeupReading->sources, sources)});
            const QDateTime oldest = time.addMSecs(-kRiseKeepMs);
            while (!m_wakeupRises.isEmpty() &&
                   (m_wakeupRises.size() > kRiseKeepCount || m_wakeupRises.first().after < oldest)) {
                m_wakeupRises.removeFirst();
            }
        }
    }
    m_lastWakeupReading = WakeupReading{time, awake, sources};
}

QList<WakeupSource> MaintenanceTools::risenSources(const QList<WakeupSource>& before, const QList<WakeupSource>& after)
{
    QHash<QString, uint64_t> earlier;
    for (const WakeupSource& source : before) earlier.insert(source.name, source.eventCount);
    QList<WakeupSource> risen;
    for (const WakeupSource& source : after) {
        const uint64_t was = earlier.value(source.name, 0);
        if (source.eventCount > was) risen.append(WakeupSource{source.name, source.eventCount - was});
    }
    std::stable_sort(risen.begin(), risen.end(),
                     [](const WakeupSource& a, const WakeupSource& b) { return a.eventCount > b.eventCount; });
    return risen;
}

MaintenanceTools::~MaintenanceTools()
{
    m_context->stopping.store(true);
    m_pool.waitForDone();
}

MaintenanceTools::AdminShellResult MaintenanceTools::runAdminShell(const QString& command,
                                                                   const QStringList& arguments) const
{
    return runAdmin(*m_context, command, arguments);
}

MaintenanceTools::ProcessResult MaintenanceTools::runProcess(const QString& path, const QStringList& arguments) const
{
    return runTool(*m_context, path, arguments, m_context->tools.processDeadline);
}

void MaintenanceTools::startTask(std::function<void()> work) { m_pool.start(std::move(work)); }

void MaintenanceTools::logLater(ActionType action, const QString& target, const QString& detail)
{
    const ActionRecord record = ActionRecord::make(action, target, detail, m_clock.now(), false);
    // In a later main-loop turn than the completion, as the history's observers expect.
    postTo(this, [this, record] { m_monitor.logAction(record); });
}

void MaintenanceTools::runLocked(std::function<Outcome(const Context&)> task, std::function<void(const QString&)> onSuccess,
                                 Completion completion)
{
    if (m_isWorking) {
        completion(false, QString::fromLatin1(busyText));
        return;
    }
    m_isWorking = true;
    m_lastError.reset();
    Q_EMIT changed();
    QPointer<MaintenanceTools> self(this);
    startTask([context = m_context, task = std::move(task), self, onSuccess = std::move(onSuccess),
               completion = std::move(completion)] {
        const Outcome outcome = task(*context);
        onMainThread([self, outcome, onSuccess, completion] {
            if (self) {
                self->m_isWorking = false;
                if (outcome.success) {
                    onSuccess(outcome.message);
                } else {
                    self->m_lastError = outcome.message;
                }
                Q_EMIT self->changed();
            }
            // A success hands on what happened when the task said more than that it worked.
            const bool quiet = outcome.success && outcome.message.isEmpty();
            completion(outcome.success, quiet ? std::nullopt : std::optional<QString>(outcome.message));
        });
    });
}

void MaintenanceTools::resetAudioServer(Completion completion)
{
    const QList<QuickFix::Exec> execs{
        {m_context->tools.systemctl,
         {QStringLiteral("--user"), QStringLiteral("restart"), QStringLiteral("pipewire"),
          QStringLiteral("pipewire-pulse"), QStringLiteral("wireplumber")}}};
    runLocked(
        [execs](const Context& context) {
            const auto [ok, message] = runUserExecs(context, execs);
            return Outcome{ok, message};
        },
        [this](const QString&) {
            m_lastAudioReset = m_clock.now();
            logLater(ActionType::systemCheck, QStringLiteral("pipewire"), QStringLiteral("Audio server reset"));
        },
        std::move(completion));
}

void MaintenanceTools::flushDNS(Completion completion)
{
    runLocked(
        [](const Context& context) {
            const AdminShellResult result = runAdmin(context, kDnsCommand, {});
            return Outcome{result.success, result.error.value_or(QString())};
        },
        [this](const QString&) {
            m_lastDNSFlush = m_clock.now();
            logLater(ActionType::systemCheck, QStringLiteral("DNS cache"),
                     QStringLiteral("Flushed the resolver cache (resolvectl)"));
        },
        std::move(completion));
}

void MaintenanceTools::runQuickFix(const QuickFix& fix, Completion completion)
{
    runLocked(
        [fix](const Context& context) {
            if (fix.needsAdmin) {
                const AdminShellResult result = runAdmin(context, fix.command, {});
                return Outcome{result.success, result.error.value_or(QString())};
            }
            const auto [ok, message] = fix.restartPrograms.isEmpty() ? runUserExecs(context, fix.userExec)
                                                                     : restartFirstRunning(context, fix.restartPrograms);
            return Outcome{ok, message};
        },
        [this, id = fix.id, title = fix.title, detail = fix.logDetail](const QString& happened) {
            m_lastQuickFixRun.insert(id, m_clock.now());
            logLater(ActionType::systemCheck, title, happened.isEmpty() ? detail : happened);
        },
        std::move(completion));
}

// ---- Local snapshots

void MaintenanceTools::refreshSnapshots() { listSnapshots(false); }

void MaintenanceTools::showSnapshots() { listSnapshots(true); }

void MaintenanceTools::listSnapshots(bool onVisit)
{
    QPointer<MaintenanceTools> self(this);
    startTask([context = m_context, self, onVisit] {
        // Listing needs the same rights as deleting: an administrator only when snapper's
        // configuration does not admit this user.
        QString listing;
        if (snapperNeedsAdmin(*context)) {
            // Without its configuration snapper keeps no snapshots here: the tab is opened often,
            // and no password is asked for a listing that can only be empty.
            if (QFileInfo::exists(context->tools.snapperConfig)) {
                // A password is asked on the session's first visit only; after that the list is
                // refreshed when the user asks for it.
                const bool listedBefore = context->listedAsAdministrator.exchange(true);
                if (listedBefore && onVisit) return;
                listing = runAdmin(*context, kSnapperListCommand, {}).output;
            }
        } else {
            listing = runTool(*context, context->tools.snapper,
                              {QStringLiteral("--utc"), QStringLiteral("--iso"), QStringLiteral("--csvout"), QStringLiteral("list")},
                              context->tools.processDeadline)
                          .output;
        }
        QList<LocalSnapshot> snapshots = parseSnapshotList(listing);
        onMainThread([self, snapshots = std::move(snapshots)] {
            if (!self) return;
            self->m_localSnapshots = snapshots;
            Q_EMIT self->changed();
        });
    });
}

void MaintenanceTools::deleteSnapshot(const LocalSnapshot& snapshot, DeleteCompletion completion)
{
    if (!isSnapshotNumber(snapshot.name)) {
        completion(false, QString());
        return;
    }
    QPointer<MaintenanceTools> self(this);
    startTask([context = m_context, self, snapshot, completion = std::move(completion)] {
        const auto [failed, error] = deleteSnapshots(*context, {snapshot.name});
        onMainThread([self, snapshot, ok = failed.isEmpty(), error = error, completion] {
            if (!self) {
                completion(false, QString());
                return;
            }
            if (!ok) {
                completion(false, error);
                return;
            }
            self->m_localSnapshots.removeIf([&](const LocalSnapshot& s) { return s.id == snapshot.id; });
            Q_EMIT self->changed();
            self->logLater(ActionType::cacheCleared, QStringLiteral("local snapshot (snapper)"), snapshot.name);
            completion(true, QString());
        });
    });
}

void MaintenanceTools::deleteAllSnapshots(DeleteAllCompletion completion)
{
    if (m_isWorking) {
        completion(0, {QString::fromLatin1(busyText)});
        return;
    }
    m_isWorking = true;
    m_lastError.reset();
    Q_EMIT changed();
    const QList<LocalSnapshot> snapshots = m_localSnapshots;
    QPointer<MaintenanceTools> self(this);
    startTask([context = m_context, self, snapshots, completion = std::move(completion)] {
        QStringList numbers;
        QStringList malformed;
        for (const LocalSnapshot& s : snapshots) (isSnapshotNumber(s.name) ? numbers : malformed) << s.name;
        QStringList failed = deleteSnapshots(*context, numbers).first;
        // Keep the listing's order in the failed names.
        QStringList failedInOrder;
        for (const LocalSnapshot& s : snapshots) {
            if (malformed.contains(s.name) || failed.contains(s.name)) failedInOrder << s.name;
        }
        const int deleted = int(snapshots.size() - failedInOrder.size());
        onMainThread([self, deleted, failedInOrder, completion] {
            if (self) {
                self->m_isWorking = false;
                Q_EMIT self->changed();
                self->refreshSnapshots();
                self->logLater(ActionType::cacheCleared, QStringLiteral("local snapshots (snapper)"),
                               QStringLiteral("Deleted ") + QString::number(deleted) + QStringLiteral(", failed ") +
                                   QString::number(failedInOrder.size()));
            }
            completion(deleted, failedInOrder);
        });
    });
}

QStringList MaintenanceTools::splitCsvLine(const QString& line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

std::optional<LocalSnapshot> MaintenanceTools::parseSnapshotLine(const QString& line, const SnapshotColumns& columns)
{
    const QStringList fields = splitCsvLine(line);
    if (columns.number < 0 || columns.date < 0) return std::nullopt;
    if (columns.number >= fields.size() || columns.date >= fields.size()) return std::nullopt;
    const QString number = fields[columns.number].trimmed();
    if (!isSnapshotNumber(number)) return std::nullopt;
    // With --utc --iso the tool writes "yyyy-MM-dd HH:mm:ss" in UTC.
    const QString dateText = fields[columns.date].trimmed();
    if (dateText.size() != 19 || dateText[10] != QLatin1Char(' ')) return std::nullopt;
    const QDateTime date = parseLocalPart(dateText, 0);
    if (!date.isValid()) return std::nullopt;
    LocalSnapshot snapshot;
    snapshot.name = number;
    snapshot.date = date;
    return snapshot;
}

QList<LocalSnapshot> MaintenanceTools::parseSnapshotList(const QString& csv)
{
    QList<LocalSnapshot> snapshots;
    std::optional<SnapshotColumns> columns;
    for (QString line : csv.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (line.trimmed().isEmpty()) continue;
        if (!columns) {
            // The heading names the columns; without one naming number and date nothing is read.
            const QStringList names = splitCsvLine(line);
            SnapshotColumns found{int(names.indexOf(QStringLiteral("number"))), int(names.indexOf(QStringLiteral("date")))};
            if (found.number < 0 || found.date < 0) return {};
            columns = found;
            continue;
        }
        if (std::optional<LocalSnapshot> snapshot = parseSnapshotLine(line, *columns)) snapshots << *snapshot;
    }
    std::stable_sort(snapshots.begin(), snapshots.end(),
                     [](const LocalSnapshot& a, const LocalSnapshot& b) { return a.date > b.date; });
    return snapshots;
}

bool MaintenanceTools::snapperAllowsUser(const QString& configText, const QString& userName, const QStringList& groups)
{
    if (userName.isEmpty()) return false;
    auto listed = [&](QLatin1String key) {
        for (const QString& raw : configText.split(QLatin1Char('\n'))) {
            const QString line = raw.trimmed();
            if (!line.startsWith(key)) continue;
            QString value = line.mid(key.size()).trimmed();
            if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"'))) {
                value = value.mid(1, value.size() - 2);
            }
            return value.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        }
        return QStringList();
    };
    if (listed(QLatin1String("ALLOW_USERS=")).contains(userName)) return true;
    const QStringList allowedGroups = listed(QLatin1String("ALLOW_GROUPS="));
    return std::any_of(groups.begin(), groups.end(), [&](const QString& g) { return allowedGroups.contains(g); });
}

// ---- Wake analysis

void MaintenanceTools::analyzeWakes(int hours, WakeCompletion completion)
{
    if (m_isWorking) {
        completion(std::nullopt);
        return;
    }
    m_isWorking = true;
    m_lastError.reset();
    Q_EMIT changed();
    const QDateTime now = m_clock.now();
    QPointer<MaintenanceTools> self(this);
    startTask([context = m_context, self, hours, now, rises = m_wakeupRises, completion = std::move(completion)] {
        // The kernel's messages of the whole window, across boots: the computer may have been
        // restarted since the wakes that matter.
        const ProcessResult run = runTool(*context, context->tools.journalctl,
                                          {QStringLiteral("-k"), QStringLiteral("--since=-%1h").arg(std::max(hours, 1)),
                                           QStringLiteral("-o"), QStringLiteral("short-iso")},
                                          context->tools.processDeadline);
        const WakeupSourceReader* reader = context->wakeups;
        const WakeAnalysis analysis = summarizeWakes(
            wakesFromJournal(run.output, rises, [reader](const QString& source) { return reader->deviceName(source); }),
            hours, now);
        onMainThread([self, analysis, completion] {
            if (self) {
                self->m_isWorking = false;
                self->m_lastWakeAnalysis = analysis;
                Q_EMIT self->changed();
            }
            completion(analysis);
        });
    });
}

QString MaintenanceTools::normalizeWakeReason(const QString& reason)
{
    const QString trimmed = trimBlanksAndTabs(reason);
    for (const WakeLabel& entry : kWakeReasonLabels) {
        if (trimmed.contains(QLatin1String(entry.key), Qt::CaseSensitive)) return QString::fromLatin1(entry.label);
    }
    return trimmed.isEmpty() ? QStringLiteral("Unknown") : trimmed;
}

WakeAnalysis MaintenanceTools::parseWakeLog(const QString& log, int hours, const QDateTime& now)
{
    const QDateTime start = now.addSecs(-qint64(hours) * 3600);
    QList<WakeEvent> events;
    for (const QString& line : log.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.contains(QLatin1String("Wake from")) && !line.contains(QLatin1String("DarkWake from"))) continue;
        const qsizetype dueTo = line.indexOf(QLatin1String("due to "));
        if (dueTo < 0) continue;
        const QString rest = line.mid(dueTo + 7);
        QString reason = rest;
        const QStringList pieces = rest.split(QLatin1Char(':'), Qt::SkipEmptyParts);
        if (!pieces.isEmpty()) {
            const QStringList parts = pieces.first().split(QLatin1Char('/'), Qt::SkipEmptyParts);
            if (!parts.isEmpty()) reason = trimBlanksAndTabs(parts.first());
        }
        // A line too short to hold a time, or whose time does not read, is not a wake we can place.
        if (line.size() < 25) continue;
        const QDateTime time = parseWakeTime(QStringView(line).left(25));
        if (!time.isValid() || time < start) continue;
        WakeEvent event;
        event.timestamp = time;
        event.rawReason = reason;
        event.normalizedReason = normalizeWakeReason(reason);
        events << event;
    }

    return summarizeWakes(events, hours, now);
}

WakeAnalysis MaintenanceTools::summarizeWakes(const QList<WakeEvent>& all, int hours, const QDateTime& now)
{
    const QDateTime start = now.addSecs(-qint64(hours) * 3600);
    QList<WakeEvent> events;
    for (const WakeEvent& event : all) {
        if (event.timestamp.isValid() && event.timestamp >= start) events << event;
    }
    // Counted in order of first appearance, so equal counts keep a fixed order.
    QList<QPair<QString, int>> counts;
    for (const WakeEvent& event : events) {
        auto it = std::find_if(counts.begin(), counts.end(),
                               [&](const QPair<QString, int>& p) { return p.first == event.normalizedReason; });
        if (it == counts.end()) {
            counts.append({event.normalizedReason, 1});
        } else {
            ++it->second;
        }
    }
    std::stable_sort(counts.begin(), counts.end(),
                     [](const QPair<QString, int>& a, const QPair<QString, int>& b) { return a.second > b.second; });
    if (counts.size() > 5) counts.resize(5);

    WakeAnalysis analysis;
    analysis.windowStart = start;
    analysis.windowEnd = now;
    analysis.totalWakes = int(events.size());
    analysis.topReasons = counts;
    const QString n = QString::number(events.size());
    const QString h = QString::number(hours);
    if (events.isEmpty()) {
        analysis.humanSummary = QStringLiteral("No wake events recorded in the last ") + h + QStringLiteral(" hours.");
    } else if (counts.first().second == events.size()) {
        analysis.humanSummary = QStringLiteral("Computer woke ") + n + QStringLiteral(" time") +
                                (events.size() == 1 ? QString() : QStringLiteral("s")) + QStringLiteral(" in the last ") +
                                h + QStringLiteral(" hours, all from ") + counts.first().first.toLower() +
                                QStringLiteral(".");
    } else {
        analysis.humanSummary = QStringLiteral("Computer woke ") + n + QStringLiteral(" times in the last ") + h +
                                QStringLiteral(" hours, mostly from ") + counts.first().first.toLower() +
                                QStringLiteral(" (") + QString::number(counts.first().second) + QStringLiteral(").");
    }
    return analysis;
}

QString MaintenanceTools::wakeReasonFor(const QString& sourceName, const QString& deviceName)
{
    if (!deviceName.isEmpty()) return deviceName;
    if (const char* key = sourceKey(sourceName)) return normalizeWakeReason(QString::fromLatin1(key));
    return sourceName.isEmpty() ? QStringLiteral("Unknown") : sourceName;
}

QList<WakeEvent> MaintenanceTools::wakesFromJournal(const QString& journal, const QList<WakeupRise>& rises,
                                                    const std::function<QString(const QString&)>& deviceName)
{
    QList<QDateTime> wakes;
    for (const QString& line : journal.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        // The kernel's own line for each return from suspend or hibernation.
        if (!line.contains(QLatin1String("PM: suspend exit")) && !line.contains(QLatin1String("hibernation exit"))) {
            continue;
        }
        const QDateTime time = parseJournalTime(QStringView(line).left(line.indexOf(QLatin1Char(' '))));
        if (time.isValid()) wakes << time;
    }

    QHash<QString, QString> names;
    auto nameOf = [&](const QString& source) {
        auto it = names.constFind(source);
        if (it == names.constEnd()) it = names.insert(source, deviceName ? deviceName(source) : QString());
        return *it;
    };
    // The recorded sleep a wake ended: the wake lies between its readings (the journal may
    // place it a little after the reading that followed it), and no other wake does.
    auto within = [](const WakeupRise& rise, const QDateTime& wake) {
        return rise.before < wake && wake <= rise.after.addMSecs(kWakeSlackMs);
    };
    QList<WakeEvent> events;
    for (const QDateTime& wake : wakes) {
        WakeEvent event;
        event.timestamp = wake;
        event.normalizedReason = QStringLiteral("Unknown");
        for (const WakeupRise& rise : rises) {
            if (!within(rise, wake)) continue;
            if (std::count_if(wakes.begin(), wakes.end(), [&](const QDateTime& w) { return within(rise, w); }) != 1) break;
            const WakeupSource* chosen = nullptr;
            for (const WakeupSource& source : rise.risen) {
                if (!nameOf(source.name).isEmpty() || sourceKey(source.name)) {
                    chosen = &source;
                    break;
                }
            }
            if (!chosen && !rise.risen.isEmpty()) chosen = &rise.risen.first();
            if (chosen) {
                event.rawReason = chosen->name;
                event.normalizedReason = wakeReasonFor(chosen->name, nameOf(chosen->name));
            }
            break;
        }
        events << event;
    }
    return events;
}
