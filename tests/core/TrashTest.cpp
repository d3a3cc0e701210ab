#include "core/Paths.h"
#include "core/Trash.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

TEST(Trash, MovesIntoTheUsersTrashEvenWhenItDoesNotExistYet)
{
    QTemporaryDir root;
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.path() + QStringLiteral("/data-not-yet")));
    const QString victim = root.path() + QStringLiteral("/cache.bin");
    QFile f(victim);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();

    const auto moved = Trash::move(victim);
    ASSERT_TRUE(moved.ok()) << moved.error().toStdString();
    EXPECT_FALSE(QFile::exists(victim));
    EXPECT_TRUE(moved.value().startsWith(Paths::trashDir() + QStringLiteral("/files/")));
    EXPECT_TRUE(QFile::exists(moved.value()));
    EXPECT_TRUE(QFile::exists(Paths::trashDir() + QStringLiteral("/info/cache.bin.trashinfo")));

    const auto missing = Trash::move(root.path() + QStringLiteral("/nope"));
    EXPECT_FALSE(missing.ok());
    EXPECT_FALSE(missing.error().isEmpty());
}
