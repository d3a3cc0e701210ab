#pragma once

#include <QString>
#include <QTemporaryDir>

// A writable copy of a fixture tree, for tests that change readings between samples.
class FixtureTree {
public:
    explicit FixtureTree(const QString& fixture);
    QString path() const { return m_dir.path(); }
    // Replaces one file's content (relative to the copy's root).
    void write(const QString& relative, const QByteArray& content) const;

private:
    QTemporaryDir m_dir;
};

// Absolute path of a fixture below tests/fixtures.
QString fixturePath(const QString& relative);
