// Empties one cache folder into the Trash in real child processes, for tests that kill them
// part-way. Starting a sanitized Qt program costs far more than a cleanup, so this process
// starts once and forks one cleaning child per line read ("go"): it prints the child's pid (the
// child prints "started", in either order), waits for it and prints how it ended ("exit N" or
// "signal N").
#include "actions/DiskCleaner.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::strncmp(line, "go", 2) != 0) break;
        std::fflush(stdout);
        const pid_t child = fork();
        if (child < 0) return 3;
        if (child == 0) {
            // The forking process has no threads of its own, so the child may start its own.
            QCoreApplication app(argc, argv);
            DiskCleaner cleaner;
            std::puts("started");  // the test's kill is timed from here, not from the fork
            std::fflush(stdout);
            const DiskCleaner::Removal removal = cleaner.removeContents(QString::fromLocal8Bit(argv[1]));
            std::fflush(nullptr);
            _exit(removal.accepted && removal.failed.isEmpty() ? 0 : 1);
        }
        std::printf("%d\n", int(child));
        std::fflush(stdout);
        int status = 0;
        while (waitpid(child, &status, 0) < 0) {
        }
        if (WIFSIGNALED(status)) {
            std::printf("signal %d\n", WTERMSIG(status));
        } else {
            std::printf("exit %d\n", WEXITSTATUS(status));
        }
        std::fflush(stdout);
    }
    return 0;
}
