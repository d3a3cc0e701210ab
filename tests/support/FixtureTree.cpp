#include "support/FixtureTree.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

QString fixturePath(const QString& relative) { return QStringLiteral(VELTRANMOOR_FIXTURES "/") + relative; }

FixtureTree::FixtureTree(const QString& fixture)
{
    const QString source = fixturePath(fixture);
    QDirIterator it(source, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = m_dir.path() + from.mid(source.size());
        QDir().mkpath(QFileInfo(to).path());
        QFile::copy(from, to);
        QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    }
}

void FixtureTree::write(const QString& relative, const QByteArray& content) const
{
    const QString to = m_dir.path() + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(to).path());
    QFile file(to);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(content);
}
