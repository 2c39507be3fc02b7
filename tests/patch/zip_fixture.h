#pragma once

// Real zip archives for the patch tests, written by Python's zipfile so that every field a
// hostile archive might abuse (names, types, modes, sizes) can be set exactly.

#include "test_support.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace vesk::test {

struct ZipEntry
{
    QByteArray name;          // raw bytes; a name that is not UTF-8 is written as it is
    QByteArray data = "x\n";
    int mode = 0100644;       // Unix type and permission bits
    qint64 zeros = 0;         // when set, the content is that many zero bytes, deflated
    qint64 claimedSize = -1;  // when set, the size the archive's headers claim instead
};

inline ZipEntry zipFile(const QByteArray &name, const QByteArray &data = "x\n", int mode = 0100644)
{
    return {name, data, mode};
}

inline void makeZip(const QString &path, const QList<ZipEntry> &entries)
{
    static const char builder[] = R"PY(
import base64, json, struct, sys, zipfile
entries, raw = json.load(open(sys.argv[1])), {}
with zipfile.ZipFile(sys.argv[2], 'w') as z:
    for i, e in enumerate(entries):
        name = base64.b64decode(e['name'])
        try:
            text = name.decode('utf-8')
        except UnicodeDecodeError:
            text = ('~%d~' % i).ljust(len(name), '~')
            raw[text.encode()] = name
        info = zipfile.ZipInfo(text, date_time=(2020, 6, 1, 12, 0, 0))
        info.create_system, info.external_attr = 3, e['mode'] << 16
        if e['zeros']:
            info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, bytes(e['zeros']) if e['zeros'] else base64.b64decode(e['data']))
data = bytearray(open(sys.argv[2], 'rb').read())
for placeholder, name in raw.items():
    data = data.replace(placeholder, name)
claims = {base64.b64decode(e['name']): e['claim'] for e in entries if e['claim'] >= 0}
pos = data.find(b'PK\x01\x02')
while pos >= 0 and claims:
    name = bytes(data[pos + 46:pos + 46 + struct.unpack_from('<H', data, pos + 28)[0]])
    if name in claims:
        struct.pack_into('<I', data, pos + 24, claims[name])
        struct.pack_into('<I', data, struct.unpack_from('<I', data, pos + 42)[0] + 22, claims[name])
    pos = data.find(b'PK\x01\x02', pos + 46)
open(sys.argv[2], 'wb').write(data)
)PY";
    QJsonArray list;
    for (const ZipEntry &e : entries) {
        list.append(QJsonObject{{"name", QString::fromLatin1(e.name.toBase64())},
                                {"data", QString::fromLatin1(e.data.toBase64())},
                                {"mode", e.mode}, {"zeros", e.zeros}, {"claim", e.claimedSize}});
    }
    QTemporaryDir work;
    const QString listPath = writeFile(work.path(), "entries.json", QJsonDocument(list).toJson());
    const QString script = writeFile(work.path(), "build.py", builder);
    // The system's interpreter starts faster than a version manager's wrapper.
    const QString python = QFileInfo::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    bool ok = false;
    run(python, {script, listPath, path}, work.path(), &ok);
    if (!ok) {
        qFatal("could not build the archive %s", qPrintable(path));
    }
}

} // namespace vesk::test
