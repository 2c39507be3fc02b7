#pragma once

// Real zip archives for the patch tests, written by Python's zipfile so that every field a
// hostile archive might abuse (names, types, modes, sizes) can be set exactly.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace vesk::test {

struct ZipEntry
{
    QByteArray name;               // raw bytes; non-UTF-8 names are written as they are
    QByteArray data;
    int mode = 0100644;            // Unix type and permission bits
    QDateTime date = QDateTime(QDate(2020, 6, 1), QTime(12, 0));
    qint64 zeros = 0;              // when set, the content is that many zero bytes, deflated
    qint64 claimedSize = -1;       // when set, the size the archive's headers claim
};

ZipEntry zipFile(const QByteArray &name, const QByteArray &data = "x\n");
ZipEntry zipFolder(const QByteArray &name);
ZipEntry zipLink(const QByteArray &name, const QByteArray &target);

// Writes the archive; fails the test when Python cannot.
void makeZip(const QString &path, const QList<ZipEntry> &entries);

} // namespace vesk::test
