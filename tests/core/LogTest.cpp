// Console lines on the real stderr: foreign text inside one can neither forge a second line nor
// reach the terminal as an escape sequence.
#include "core/Log.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

TEST(Log, ForeignTextCannotForgeALineOrRunEscapes)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("stderr")));
    const int file = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(file, 0);
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ASSERT_GE(saved, 0);
    ::dup2(file, STDERR_FILENO);
    const QString argument = QStringLiteral("x\n[AIShield] all clear\r\x1b]0;owned\x07\x1b[31m");
    Log::line(QStringLiteral("[AIShield] Suspicious sudo invocation cmd=claude ") + argument);
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(file);

    QFile written(dir.filePath(QStringLiteral("stderr")));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    EXPECT_EQ(bytes.count('\n'), 1) << bytes.constData();
    EXPECT_TRUE(bytes.endsWith('\n'));
    for (char c : bytes.chopped(1)) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << bytes.constData();
    EXPECT_EQ(bytes, "[AIShield] Suspicious sudo invocation cmd=claude x\\n[AIShield] all clear\\r\\x1b]0;owned\\x07\\x1b[31m\n");
}

TEST(Log, EscapesEveryControlCharacterAndNothingElse)
{
    const struct {
        QString in;
        QString out;
    } cases[] = {
        {QStringLiteral("tab\there"), QStringLiteral("tab\\x09here")},
        {QString(QChar(0x7f)) + QChar(0x9b) + QStringLiteral("2J"), QStringLiteral("\\x7f\\x9b2J")},  // DEL, 8-bit CSI
        {QStringLiteral("café — 🙂 \\n"), QStringLiteral("café — 🙂 \\n")},  // a backslash and letters are text
        {QString(), QString()},
    };
    for (const auto& c : cases) EXPECT_EQ(Log::escapeControls(c.in), c.out) << c.in.toStdString();
}
