// The alert's sound side against a real sound server: a private PulseAudio with a null output,
// reached by the real pactl and paplay.
#include "SnoozeRig.h"

#include "ui/snooze/PaplayAlarmSound.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTest>

namespace {

// A PulseAudio of this test alone; PULSE_SERVER points every child at it while it runs.
class SoundServer {
public:
    SoundServer()
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (program.isEmpty()) return;
        const QString socket = m_dir.filePath(QStringLiteral("native"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start(program, {QStringLiteral("--daemonize=no"), QStringLiteral("-n"),
                                  QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disable-shm"),
                                  QStringLiteral("--use-pid-file=no"), QStringLiteral("--log-level=error"),
                                  QStringLiteral("-L"), QStringLiteral("module-null-sink"), QStringLiteral("-L"),
                                  QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1").arg(socket)});
        if (!m_process.waitForStarted(5000)) return;
        m_previous = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", QByteArrayLiteral("unix:") + socket.toUtf8());
        m_ready = QTest::qWaitFor([] { return pactl({QStringLiteral("info")}).has_value(); }, 10000);
    }
    ~SoundServer()
    {
        if (m_previous.isNull()) qunsetenv("PULSE_SERVER");
        else qputenv("PULSE_SERVER", m_previous);
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) m_process.kill();
        m_process.waitForFinished(2000);
    }
    bool ready() const { return m_ready; }

    // Runs pactl on the server; its output, or nothing when it failed.
    static std::optional<QString> pactl(const QStringList& arguments)
    {
        QProcess p;
        p.start(QStringLiteral("pactl"), arguments);
        if (!p.waitForFinished(5000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return std::nullopt;
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    static std::optional<OutputVolume::Levels> levels()
    {
        const auto out = pactl({QStringLiteral("get-sink-volume"), QStringLiteral("@DEFAULT_SINK@")});
        return out ? PactlOutputVolume::parseLevels(*out) : std::nullopt;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_previous;
    bool m_ready = false;
};

}  // namespace

TEST(SnoozeSound, AlertRaisesTheVolumeSoundsTheAlarmAndPutsTheVolumeBack)
{
    SoundServer server;
    ASSERT_TRUE(server.ready()) << "a private pulseaudio could not start";
    ASSERT_TRUE(SoundServer::pactl({QStringLiteral("set-sink-volume"), QStringLiteral("@DEFAULT_SINK@"),
                                    QStringLiteral("30%"), QStringLiteral("40%")}));
    ASSERT_EQ(SoundServer::levels(), (OutputVolume::Levels{30, 40}));

    RecordingGuard guard;
    ScriptedCoach coach;
    PaplayAlarmSound alarm;
    ManualClock clock;
    auto volume = std::make_unique<PactlOutputVolume>();
    ASSERT_FALSE(PaplayAlarmSound::findProgram().isEmpty());
    SnoozeAlertWindow window({.guard = guard, .verdicts = coach, .volume = *volume, .alarm = alarm, .clock = clock});

    window.show(QStringLiteral("Drowsiness detected — Eyes closed"), 0);
    // The chime plays as a stream of its own while the volume goes to full.
    EXPECT_TRUE(QTest::qWaitFor(
        [] {
            const auto inputs = SoundServer::pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")});
            return inputs && inputs->contains(QStringLiteral("Snooze Guard alarm"));
        },
        5000));
    EXPECT_TRUE(QTest::qWaitFor([] { return SoundServer::levels() == OutputVolume::Levels{100, 100}; }, 5000));

    window.dismiss();
    EXPECT_TRUE(QTest::qWaitFor([] { return SoundServer::levels() == OutputVolume::Levels{30, 40}; }, 5000));

    // Quitting with the alert up: the restore still happens before the volume control goes.
    window.show(QStringLiteral("Drowsiness detected — Eyes closed"), 0);
    ASSERT_TRUE(QTest::qWaitFor([] { return SoundServer::levels() == OutputVolume::Levels{100, 100}; }, 5000));
    window.dismiss();
    volume.reset();
    EXPECT_EQ(SoundServer::levels(), (OutputVolume::Levels{30, 40}));
}
