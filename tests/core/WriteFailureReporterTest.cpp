#include "core/Json.h"
#include "core/Log.h"
#include "core/UserDefaults.h"
#include "core/WriteFailureReporter.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

// A regular file where the store's folder should be: every write under it fails, for root too
// (which file modes would not stop).
QString blockedFolder(const QTemporaryDir& dir)
{
    const QString blocked = dir.path() + QStringLiteral("/Veltranmoor");
    QFile f(blocked);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    return blocked;
}

struct Captured {
    QStringList lines;
    QList<QPair<QString, QString>> lost;
    Captured()
    {
        WriteFailureReporter::reset();
        Log::setSink([this](const QString& line) { lines.append(line); });
        WriteFailureReporter::setLostDataHook([this](const QString& path, const QString& reason) { lost.append({path, reason}); });
    }
    ~Captured()
    {
        Log::setSink({});
        WriteFailureReporter::setLostDataHook({});
        WriteFailureReporter::reset();
    }
};

}  // namespace

TEST(WriteFailureReporter, ReportsEachFileAndReasonOnceWhileTheStoreKeepsWorking)
{
    QTemporaryDir dir;
    const QString blocked = blockedFolder(dir);
    Captured captured;

    UserDefaults settings(blocked + QStringLiteral("/settings.json"));
    for (int i = 0; i < 10; ++i) settings.setInt(QStringLiteral("tick"), i);
    settings.flush();  // the writes fail on the store's writer thread
    EXPECT_EQ(settings.getInt(QStringLiteral("tick")), 9) << "the values stay usable in memory";
    ASSERT_EQ(captured.lines.size(), 1) << captured.lines.join('\n').toStdString();
    EXPECT_TRUE(captured.lines[0].startsWith(QStringLiteral("[Veltranmoor] Cannot save ") + blocked + QStringLiteral("/settings.json (")))
        << captured.lines[0].toStdString();
    ASSERT_EQ(captured.lost.size(), 1);
    EXPECT_EQ(captured.lost[0].first, blocked + QStringLiteral("/settings.json"));
    EXPECT_FALSE(captured.lost[0].second.isEmpty());

    // Another file in the same place is news; so is a new reason for the same file.
    UserDefaults other(blocked + QStringLiteral("/other.json"));
    other.setBool(QStringLiteral("x"), true);
    other.setBool(QStringLiteral("x"), false);
    other.flush();
    WriteFailureReporter::check(blocked + QStringLiteral("/settings.json"), Status::failure(QStringLiteral("No space left on device")));
    WriteFailureReporter::check(blocked + QStringLiteral("/settings.json"), Status::failure(QStringLiteral("No space left on device")));
    EXPECT_EQ(captured.lines.size(), 3) << captured.lines.join('\n').toStdString();
    EXPECT_EQ(captured.lost.size(), 3);

    // Successful writes say nothing.
    UserDefaults fine(dir.path() + QStringLiteral("/ok/settings.json"));
    fine.setBool(QStringLiteral("x"), true);
    fine.flush();
    EXPECT_TRUE(Json::writeViaTmpSibling(dir.path() + QStringLiteral("/ok/learned.json"), QJsonDocument(QJsonArray())).ok());
    EXPECT_EQ(captured.lines.size(), 3);
}
