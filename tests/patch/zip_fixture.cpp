#include "zip_fixture.h"

#include "test_support.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace vesk::test {

namespace {

const char builder[] = R"PY(
import base64, json, struct, sys, zipfile
spec = json.load(open(sys.argv[1]))
raw_names = {}
with zipfile.ZipFile(sys.argv[2], 'w') as z:
    for i, e in enumerate(spec):
        name = base64.b64decode(e['name'])
        try:
            text = name.decode('utf-8')
        except UnicodeDecodeError:
            text = ('~%d~' % i).ljust(len(name), '~')
            raw_names[text.encode()] = name
        info = zipfile.ZipInfo(text, date_time=tuple(e['date']))
        info.create_system = 3
        info.external_attr = e['mode'] << 16
        if e['mode'] & 0o170000 == 0o040000:
            info.external_attr |= 0x10
        if e['zeros']:
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, bytes(e['zeros']))
        else:
            z.writestr(info, base64.b64decode(e['data']))
claims = {base64.b64decode(e['name']): e['claim'] for e in spec if e['claim'] >= 0}
data = bytearray(open(sys.argv[2], 'rb').read())
for placeholder, name in raw_names.items():
    data = data.replace(placeholder, name)
pos = data.find(b'PK\x01\x02')
while pos >= 0 and claims:
    length = struct.unpack_from('<H', data, pos + 28)[0]
    name = bytes(data[pos + 46:pos + 46 + length])
    if name in claims:
        struct.pack_into('<I', data, pos + 24, claims[name])
        struct.pack_into('<I', data, struct.unpack_from('<I', data, pos + 42)[0] + 22, claims[name])
    pos = data.find(b'PK\x01\x02', pos + 46)
open(sys.argv[2], 'wb').write(data)
)PY";

} // namespace

ZipEntry zipFile(const QByteArray &name, const QByteArray &data)
{
    ZipEntry entry;
    entry.name = name;
    entry.data = data;
    return entry;
}

ZipEntry zipFolder(const QByteArray &name)
{
    ZipEntry entry;
    entry.name = name;
    entry.mode = 040755;
    return entry;
}

ZipEntry zipLink(const QByteArray &name, const QByteArray &target)
{
    ZipEntry entry;
    entry.name = name;
    entry.data = target;
    entry.mode = 0120777;
    return entry;
}

void makeZip(const QString &path, const QList<ZipEntry> &entries)
{
    QJsonArray spec;
    for (const ZipEntry &entry : entries) {
        const QDate day = entry.date.date();
        const QTime time = entry.date.time();
        spec.append(QJsonObject{
            {QStringLiteral("name"), QString::fromLatin1(entry.name.toBase64())},
            {QStringLiteral("data"), QString::fromLatin1(entry.data.toBase64())},
            {QStringLiteral("mode"), entry.mode},
            {QStringLiteral("date"), QJsonArray{day.year(), day.month(), day.day(), time.hour(), time.minute(), time.second()}},
            {QStringLiteral("zeros"), entry.zeros},
            {QStringLiteral("claim"), entry.claimedSize},
        });
    }
    QTemporaryDir work;
    const QString specPath = writeFile(work.path(), QStringLiteral("spec.json"), QJsonDocument(spec).toJson());
    const QString script = writeFile(work.path(), QStringLiteral("build.py"), builder);
    bool ok = false;
    // The system's interpreter starts faster than a version manager's wrapper.
    const QString python = QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                                  : QStringLiteral("python3");
    run(python, {script, specPath, path}, work.path(), &ok);
    if (!ok) {
        qFatal("could not build the archive %s", qPrintable(path));
    }
}

} // namespace vesk::test
