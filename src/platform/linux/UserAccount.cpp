#include "platform/linux/UserAccount.h"

#include <QRegularExpression>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace UserAccount {

QString firstName(const QString& gecos, const QString& login)
{
    QString fullName = gecos.section(QLatin1Char(','), 0, 0);
    if (fullName.contains(QLatin1Char('&')) && !login.isEmpty()) {
        const QString capitalised = login.left(1).toUpper() + login.mid(1);
        fullName.replace(QLatin1Char('&'), capitalised);
    }
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList words = fullName.split(blanks, Qt::SkipEmptyParts);
    return words.isEmpty() ? login : words.first();
}

QString currentFirstName()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
    return firstName(QString::fromLocal8Bit(found->pw_gecos ? found->pw_gecos : ""),
                     QString::fromLocal8Bit(found->pw_name ? found->pw_name : ""));
}

}  // namespace UserAccount
