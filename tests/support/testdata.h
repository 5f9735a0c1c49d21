#ifndef TESTDATA_H
#define TESTDATA_H

// What the tests are fed: tables of rows, and files.

#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <cstddef>

// A table of rows, each with a name, as a test's data: one data row per
// table row, handed over as "row", its index.
template <class Row, std::size_t N>
void addRows(const Row (&rows)[N])
{
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < N; ++i)
        QTest::newRow(rows[i].name) << int(i);
}

// A row's bytes as the table writes them, "\\0" a NUL.
inline QByteArray unescaped(const char *text)
{
    return QByteArray(text).replace("\\0", QByteArray(1, '\0'));
}

// The bytes of a file; empty when there is none, it cannot be read, or it is
// no regular file (/dev/full as a log file reads without end).
inline QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes the file whole and gives its path back; empty when it could not.
inline QString writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() ? path : QString();
}

// An image whose blocks of 1024 bytes all differ, so that a block sent in
// the wrong place or twice shows.
inline QByteArray blockPattern(int size)
{
    QByteArray image(size, 0);
    for (int i = 0; i < size; ++i)
        image[i] = char(i * 7 + i / 1024);
    return image;
}

#endif
