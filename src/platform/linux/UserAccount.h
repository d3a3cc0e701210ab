#pragma once

#include <QString>

// The user's own name, as the account gives it.
namespace UserAccount {

// The first name in a passwd entry: the first word of the full name (the GECOS field up to its
// first comma, where "&" stands for the login name with a capital first letter), else the login
// name.
QString firstName(const QString& gecos, const QString& login);

// The first name of the user this process runs as; the login name when the account has no full
// name, empty only when the account cannot be read at all.
QString currentFirstName();

}  // namespace UserAccount
