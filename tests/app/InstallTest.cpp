// `make install`'s script against a temporary prefix: every file lands where the desktop looks
// for it, the veltranmoor:// address resolves to the entry, and uninstalling leaves nothing.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Finished {
    int exitCode = -1;
    QString out;
};

Finished run(const QString& program, const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000)) return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAll())};
}

Finished installScript(const QStringList& args)
{
    return run(QStringLiteral("bash"), QStringList{QStringLiteral(VELTRANMOOR_SOURCE_DIR "/scripts/install")} + args);
}

QSet<QString> filesUnder(const QString& root)
{
    QSet<QString> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) files.insert(QDir(root).relativeFilePath(it.next()));
    return files;
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QList<int> kIconSizes{16, 32, 48, 64, 128, 256};

}  // namespace

TEST(Install, PutsEveryFileInPlaceRegistersTheAddressAndUninstallsToAnEmptyTree)
{
    QTemporaryDir tmp;
    // No space here: xdg-mime splits its search path on blanks.
    const QString prefix = tmp.path() + QStringLiteral("/prefix");
    Finished installed = installScript({QStringLiteral("install"), QStringLiteral(VELTRANMOOR_BUILD_DIR), prefix});
    ASSERT_EQ(installed.exitCode, 0) << installed.out.toStdString();

    QSet<QString> expected{QStringLiteral("bin/veltranmoor"), QStringLiteral("lib/veltranmoor/libveltranmoor-camera.so"),
                           QStringLiteral("share/applications/veltranmoor.desktop"),
                           QStringLiteral("share/applications/mimeinfo.cache"),
                           QStringLiteral("share/icons/hicolor/scalable/apps/veltranmoor.svg")};
    for (int size : kIconSizes) expected.insert(QStringLiteral("share/icons/hicolor/%1x%1/apps/veltranmoor.png").arg(size));
    EXPECT_EQ(filesUnder(prefix), expected);

    const QString binary = prefix + QStringLiteral("/bin/veltranmoor");
    EXPECT_TRUE(QFileInfo(binary).isExecutable());
    // The camera's libraries come with the camera library, loaded only when the watch starts.
    const Finished linked = run(QStringLiteral("ldd"), {binary});
    EXPECT_EQ(linked.exitCode, 0);
    EXPECT_FALSE(linked.out.contains(QStringLiteral("libopencv"))) << linked.out.toStdString();
    EXPECT_FALSE(linked.out.contains(QStringLiteral("libdlib"))) << linked.out.toStdString();
    const Finished version = run(binary, {QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.contains(QStringLiteral(VELTRANMOOR_VERSION))) << version.out.toStdString();

    const QString entryPath = prefix + QStringLiteral("/share/applications/veltranmoor.desktop");
    const QByteArray entry = contents(entryPath);
    // A plain path stands unquoted (a prefix with a blank is quoted: below).
    EXPECT_TRUE(entry.contains("\nExec=" + binary.toUtf8() + " %u\n")) << entry.toStdString();
    EXPECT_TRUE(entry.contains("\nIcon=veltranmoor\n"));
    EXPECT_TRUE(entry.contains("\nMimeType=x-scheme-handler/veltranmoor;\n"));
    const Finished validate = run(QStringLiteral("desktop-file-validate"), {entryPath});
    EXPECT_EQ(validate.exitCode, 0) << validate.out.toStdString();

    QSvgRenderer svg(prefix + QStringLiteral("/share/icons/hicolor/scalable/apps/veltranmoor.svg"));
    EXPECT_TRUE(svg.isValid());
    for (int size : kIconSizes) {
        const QImage png(prefix + QStringLiteral("/share/icons/hicolor/%1x%1/apps/veltranmoor.png").arg(size));
        ASSERT_EQ(png.size(), QSize(size, size)) << size;
        EXPECT_EQ(png.pixelColor(0, 0).alpha(), 0) << "the corner is outside the shield";
        EXPECT_EQ(png.pixelColor(size / 2, size / 8).alpha(), 255) << "the shield's rim is opaque at " << size;
    }

    // The lookup xdg-open makes, confined to the prefix.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "DISPLAY",
                             "WAYLAND_DISPLAY"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), tmp.path() + QStringLiteral("/home"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), tmp.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), prefix + QStringLiteral("/share"));
    env.insert(QStringLiteral("XDG_DATA_DIRS"), prefix + QStringLiteral("/share"));
    const Finished handler = run(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                                         QStringLiteral("x-scheme-handler/veltranmoor")}, env);
    EXPECT_EQ(handler.exitCode, 0) << handler.out.toStdString();
    EXPECT_EQ(handler.out.trimmed(), QStringLiteral("veltranmoor.desktop"));
    // On a desktop xdg-open does not know, its own fallback runs the entry's Exec line: a
    // stand-in for the binary records the address it was given.
    const QString opened = tmp.path() + QStringLiteral("/opened");
    {
        QFile stub(binary);
        ASSERT_TRUE(stub.open(QIODevice::WriteOnly | QIODevice::Truncate));
        stub.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + QFile::encodeName(opened) + "'\n");
    }
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":1999"));  // set, but nothing is drawn
    const Finished xdgOpen = run(QStringLiteral("xdg-open"), {QStringLiteral("veltranmoor://dashboard")}, env);
    EXPECT_EQ(xdgOpen.exitCode, 0) << xdgOpen.out.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(opened); }, 10000));
    EXPECT_EQ(contents(opened), "veltranmoor://dashboard\n");

    const Finished removed = installScript({QStringLiteral("uninstall"), prefix});
    ASSERT_EQ(removed.exitCode, 0) << removed.out.toStdString();
    EXPECT_TRUE(QDir(prefix).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        << QStringList(filesUnder(prefix).values()).join(' ').toStdString();
}

TEST(Install, UninstallKeepsOtherApplicationsAndTheirRegistration)
{
    QTemporaryDir tmp;
    // A space in the prefix proves the entry's Exec line quotes the path.
    const QString prefix = tmp.path() + QStringLiteral("/my prefix");
    QDir().mkpath(prefix + QStringLiteral("/share/applications"));
    QDir().mkpath(prefix + QStringLiteral("/bin"));
    QFile other(prefix + QStringLiteral("/share/applications/other.desktop"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("[Desktop Entry]\nType=Application\nName=Other\nExec=other %u\nMimeType=x-scheme-handler/other;\n");
    other.close();
    QFile tool(prefix + QStringLiteral("/bin/other"));
    ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
    tool.close();

    ASSERT_EQ(installScript({QStringLiteral("install"), QStringLiteral(VELTRANMOOR_BUILD_DIR), prefix}).exitCode, 0);
    EXPECT_TRUE(contents(prefix + QStringLiteral("/share/applications/mimeinfo.cache")).contains("x-scheme-handler/veltranmoor="));
    const QString entryPath = prefix + QStringLiteral("/share/applications/veltranmoor.desktop");
    EXPECT_TRUE(contents(entryPath).contains("\nExec=\"" + prefix.toUtf8() + "/bin/veltranmoor\" %u\n"));
    const Finished validate = run(QStringLiteral("desktop-file-validate"), {entryPath});
    EXPECT_EQ(validate.exitCode, 0) << validate.out.toStdString();
    ASSERT_EQ(installScript({QStringLiteral("uninstall"), prefix}).exitCode, 0);

    EXPECT_EQ(filesUnder(prefix), (QSet<QString>{QStringLiteral("bin/other"), QStringLiteral("share/applications/other.desktop"),
                                                  QStringLiteral("share/applications/mimeinfo.cache")}));
    const QByteArray cache = contents(prefix + QStringLiteral("/share/applications/mimeinfo.cache"));
    EXPECT_TRUE(cache.contains("x-scheme-handler/other=other.desktop")) << cache.toStdString();
    EXPECT_FALSE(cache.contains("veltranmoor"));
}
