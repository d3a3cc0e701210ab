// The name the alerts address the user by, from the account's passwd entry.
#include "platform/linux/UserAccount.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

TEST(UserAccount, FirstNameComesFromTheFullNameElseTheLogin)
{
    const struct {
        const char* gecos;
        const char* login;
        const char* first;
    } cases[] = {
        {"Ada Lovelace,,,", "ada", "Ada"},
        {"  Grace   Hopper ,Room 12,555-0100", "grace", "Grace"},
        {"Jean-Luc Picard", "jlp", "Jean-Luc"},
        {"Émilie du Châtelet", "emilie", "Émilie"},
        // "&" in the full name stands for the login name, capitalised.
        {"& Smith,,,", "tom", "Tom"},
        // No full name: the login name.
        {"", "pellorin", "pellorin"},
        {",,,", "build", "build"},
        {"   ", "build", "build"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UserAccount::firstName(QString::fromUtf8(c.gecos), QString::fromUtf8(c.login)), QString::fromUtf8(c.first))
            << c.gecos;
}

TEST(UserAccount, TheCurrentUserIsReadFromTheirOwnEntry)
{
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(UserAccount::currentFirstName(),
              UserAccount::firstName(QString::fromLocal8Bit(entry->pw_gecos), QString::fromLocal8Bit(entry->pw_name)));
    EXPECT_FALSE(UserAccount::currentFirstName().isEmpty());
}
