#include "export/export_filter.h"

#include "platform/atomic_write.h"
#include "platform/regular_file.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>

namespace vesk {

namespace {

const QString excludedKey = QStringLiteral("excluded");
const QString includedKey = QStringLiteral("included");
const QString includedDirsKey = QStringLiteral("includedDirs");

std::optional<QStringList> stringArray(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (!value.isArray()) {
        return std::nullopt;
    }
    QStringList list;
    for (const QJsonValue &item : value.toArray()) {
        if (!item.isString()) {
            return std::nullopt;
        }
        list.append(item.toString());
    }
    return list;
}

} // namespace

QString ExportFilter::fileName()
{
    return QStringLiteral(".vesk-export-filter");
}

QString ExportFilter::filePath(const QString &repoPath)
{
    return repoPath + QLatin1Char('/') + fileName();
}

std::optional<ExportFilter> ExportFilter::load(const QString &repoPath)
{
    const RegularFileRead read = readRegularFile(filePath(repoPath), maxFileBytes);
    if (!read.ok()) {
        return std::nullopt;
    }
    return fromJson(read.data);
}

std::optional<ExportFilter> ExportFilter::fromJson(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    std::optional<QStringList> includedDirs = stringArray(object, includedDirsKey);
    std::optional<QStringList> included = stringArray(object, includedKey);
    std::optional<QStringList> excluded = stringArray(object, excludedKey);
    if (!includedDirs || !included || !excluded) {
        return std::nullopt;
    }
    return ExportFilter{std::move(*includedDirs), std::move(*included), std::move(*excluded)};
}

QByteArray ExportFilter::toJson() const
{
    // QJsonObject keeps its keys sorted.
    QJsonObject object;
    object.insert(excludedKey, QJsonArray::fromStringList(excluded));
    object.insert(includedKey, QJsonArray::fromStringList(included));
    object.insert(includedDirsKey, QJsonArray::fromStringList(includedDirs));
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

QString ExportFilter::write(const QString &repoPath) const
{
    const QString path = filePath(repoPath);
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        return S_ISLNK(st.st_mode)
                   ? QStringLiteral("The export choice cannot be saved: %1 is a link.").arg(fileName())
                   : QStringLiteral("The export choice cannot be saved: %1 is not a regular file.").arg(fileName());
    }
    // The side file and rename replace only the name in the folder, never what a link there leads to.
    const WriteResult written = atomicWrite(path, toJson(), LinkHandling::ReplaceLink);
    return written ? QString() : QStringLiteral("The export choice cannot be saved: %1").arg(written.error);
}

} // namespace vesk
