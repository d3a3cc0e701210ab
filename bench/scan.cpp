// Time of DiskCleaner::directorySize over a generated tree of 200,000 files in nested folders,
// against `du -s -B1` of the same tree in the same run (warm cache, median of 5 each).
// Prints, one per line: the median of directorySize in ms, the median of du in ms, and their
// ratio (below 1 means faster than du).
#include "actions/DiskCleaner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kTop = 10, kMiddle = 10, kLeaf = 20, kFilesPerLeaf = 100;  // 200,000 files
constexpr int kRounds = 5;

bool generate(const QString& root)
{
    const QByteArray payload(700, 'x');
    for (int a = 0; a < kTop; ++a) {
        for (int b = 0; b < kMiddle; ++b) {
            for (int c = 0; c < kLeaf; ++c) {
                const QString dir = QStringLiteral("%1/t%2/m%3/l%4").arg(root).arg(a).arg(b).arg(c);
                if (!QDir().mkpath(dir)) return false;
                const QByteArray base = QFile::encodeName(dir);
                for (int f = 0; f < kFilesPerLeaf; ++f) {
                    const QByteArray path = base + "/f" + QByteArray::number(f) + ".bin";
                    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                    if (fd < 0) return false;
                    // Sizes vary so the sums are not all one block.
                    const ssize_t n = ::write(fd, payload.constData(), 1 + (f * 37) % payload.size());
                    ::close(fd);
                    if (n < 0) return false;
                }
            }
        }
    }
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double timeMs(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

bool runDu(const QString& root)
{
    QProcess du;
    du.setProcessChannelMode(QProcess::SeparateChannels);
    du.start(QStringLiteral("du"), {QStringLiteral("-s"), QStringLiteral("-B1"), root});
    if (!du.waitForFinished(120000)) return false;
    du.readAllStandardOutput();
    du.readAllStandardError();
    return du.exitStatus() == QProcess::NormalExit && du.exitCode() == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/veltranmoor-bench-scan-XXXXXX"));
    if (!tmp.isValid() || !generate(tmp.path())) {
        std::fprintf(stderr, "cannot generate the tree\n");
        return 1;
    }
    const QString root = tmp.path();

    // Warm the dentry and inode caches for both.
    volatile uint64_t sink = DiskCleaner::directorySize(root);
    if (!runDu(root)) {
        std::fprintf(stderr, "du failed\n");
        return 1;
    }

    std::vector<double> ours, theirs;
    for (int i = 0; i < kRounds; ++i) {
        ours.push_back(timeMs([&] { sink = DiskCleaner::directorySize(root); }));
        theirs.push_back(timeMs([&] { runDu(root); }));
    }
    (void)sink;

    const double a = median(ours), b = median(theirs);
    std::printf("directory_size_ms %.1f\ndu_ms %.1f\nratio_directory_size_to_du %.2f\n", a, b, a / b);
    return 0;  // the QTemporaryDir removes the tree
}
