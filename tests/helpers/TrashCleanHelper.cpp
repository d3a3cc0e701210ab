// A real process that empties one cache folder into the Trash, for tests that kill it part-way.
#include "actions/DiskCleaner.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) return 2;
    DiskCleaner cleaner;
    // Tells the test the cleanup starts now, so its kill lands inside the work, not the start-up.
    std::fputs("cleaning\n", stdout);
    std::fflush(stdout);
    const DiskCleaner::Removal removal = cleaner.removeContents(QString::fromLocal8Bit(argv[1]));
    return removal.accepted && removal.failed.isEmpty() ? 0 : 1;
}
