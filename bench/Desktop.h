#pragma once

// The application as a user's desktop starts it: on an X server with a window manager (Xvfb
// and openbox here), as an ordinary user (when the bench runs as root, the user `nobody`), with
// the open-file limit a desktop session gives (soft 1024), in this pid namespace.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace bench {

constexpr rlim_t desktopOpenFileLimit = 1024;

// This process's environment moved into a private home: its own HOME and XDG folders, no session
// bus and no platform choice of ours, and whatever else `alsoDropped` names (prefixes "NAME=").
inline std::vector<std::string> homeEnvironment(const QString& home, const std::vector<std::string>& alsoDropped = {})
{
    std::vector<std::string> dropped = {"HOME=", "XDG_CONFIG_HOME=", "XDG_DATA_HOME=", "XDG_CACHE_HOME=",
                                        "XDG_STATE_HOME=", "XDG_RUNTIME_DIR=", "DBUS_SESSION_BUS_ADDRESS=",
                                        "QT_QPA_PLATFORM="};
    dropped.insert(dropped.end(), alsoDropped.begin(), alsoDropped.end());
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        bool drop = false;
        for (const std::string& prefix : dropped) drop = drop || entry.rfind(prefix, 0) == 0;
        if (!drop) env.push_back(entry);
    }
    const std::string h = QFile::encodeName(home).toStdString();
    env.push_back("HOME=" + h);
    env.push_back("XDG_CONFIG_HOME=" + h + "/.config");
    env.push_back("XDG_DATA_HOME=" + h + "/.local/share");
    env.push_back("XDG_CACHE_HOME=" + h + "/.cache");
    env.push_back("XDG_STATE_HOME=" + h + "/.local/state");
    env.push_back("XDG_RUNTIME_DIR=" + h + "/run");
    return env;
}

// Who the application runs as.
struct RunAs {
    uid_t uid = ::getuid();
    gid_t gid = ::getgid();
    bool drop = false;
    std::string name;
};

// This user, or `nobody` when this is root.
inline RunAs ordinaryUser()
{
    RunAs who;
    if (::geteuid() != 0) {
        if (const passwd* pw = ::getpwuid(::geteuid())) who.name = pw->pw_name;
        return who;
    }
    if (const passwd* pw = ::getpwnam("nobody")) {
        who.uid = pw->pw_uid;
        who.gid = pw->pw_gid;
        who.drop = true;
        who.name = "nobody";
    }
    return who;
}

// Hands a folder (a private home) and all below it to the user.
inline void giveTo(const RunAs& who, const QString& path)
{
    if (!who.drop) return;
    const QByteArray p = QFile::encodeName(path);
    if (::chown(p.constData(), who.uid, who.gid) != 0) std::perror("chown");
    QDir dir(path);
    for (const QFileInfo& e : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        if (e.isDir() && !e.isSymLink()) giveTo(who, e.filePath());
        else if (::lchown(QFile::encodeName(e.filePath()).constData(), who.uid, who.gid) != 0) std::perror("lchown");
    }
}

// Readies a private home for the application run as `who`: its runtime folder (mode 0700), the
// first start's question already answered as a user who runs it all day has (no modal prompt
// holds the loop or sits on the screen while it is measured), with any further `settings`, and
// all of it handed to the user.
inline void readyHome(const RunAs& who, const QString& home, QJsonObject settingsToo = {})
{
    QDir(home).mkpath(QStringLiteral("run"));
    QFile::setPermissions(home + QStringLiteral("/run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir(home).mkpath(QStringLiteral(".config/Veltranmoor"));
    QFile settings(home + QStringLiteral("/.config/Veltranmoor/settings.json"));
    if (settings.open(QIODevice::WriteOnly | QIODevice::Truncate))
    {
        settingsToo.insert(QStringLiteral("telemetryConsentDecided"), true);
        settings.write(QJsonDocument(settingsToo).toJson());
    }
    settings.close();
    giveTo(who, home);
}

// Whether the user can run `path`: every folder on the way searchable, the file executable.
inline bool reachable(const RunAs& who, const std::string& path)
{
    if (!who.drop) return ::access(path.c_str(), X_OK) == 0;
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        struct stat st{};
        if (::stat(path.substr(0, slash).c_str(), &st) != 0) return false;
        const mode_t bit = st.st_uid == who.uid ? S_IXUSR : st.st_gid == who.gid ? S_IXGRP : S_IXOTH;
        if (!(st.st_mode & bit)) return false;
        if (slash == std::string::npos) return true;
    }
}

// Starts `args` as `who` with the desktop's open-file limit; standard output goes to `outFd`
// (or to `logPath`), standard error with it. -1 when it cannot start.
inline pid_t spawnAs(const RunAs& who, const std::vector<std::string>& args, const std::vector<std::string>& env,
                     int outFd, const QString& logPath = QString())
{
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const QByteArray log = QFile::encodeName(logPath);
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    // The child: only async-signal-safe calls from here on.
    const int in = ::open("/dev/null", O_RDONLY);
    if (in >= 0) ::dup2(in, 0);
    int out = outFd;
    if (out < 0) out = ::open(log.isEmpty() ? "/dev/null" : log.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
    }
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = std::min<rlim_t>(desktopOpenFileLimit, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    if (who.drop) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(who.gid) != 0 || ::setuid(who.uid) != 0) ::_exit(126);
    }
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
}

// An X server with a window manager on the first free display from BENCH_DISPLAY (default 99).
struct Desktop {
    pid_t server = -1;
    pid_t windowManager = -1;
    std::string display;

    bool start()
    {
        int n = std::getenv("BENCH_DISPLAY") ? std::atoi(std::getenv("BENCH_DISPLAY")) : 99;
        for (int tries = 0; tries < 20; ++tries, ++n) {
            if (::access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) != 0) break;
        }
        display = ":" + std::to_string(n);
        const RunAs self;
        server = spawnAs(self, {"/usr/bin/Xvfb", display, "-screen", "0", "3840x1080x24", "-nolisten", "tcp"},
                         {"PATH=/usr/bin:/bin"}, -1);
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        for (int i = 0; i < 100 && ::access(socket.c_str(), F_OK) != 0; ++i) ::usleep(100000);
        if (::access(socket.c_str(), F_OK) != 0) return false;
        windowManager = spawnAs(self, {"/usr/bin/openbox"}, {"PATH=/usr/bin:/bin", "DISPLAY=" + display, "HOME=/tmp"}, -1);
        ::usleep(1000000);
        return windowManager > 0 && ::waitpid(windowManager, nullptr, WNOHANG) == 0;
    }
    ~Desktop()
    {
        for (pid_t pid : {windowManager, server}) {
            if (pid <= 0) continue;
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

}  // namespace bench
