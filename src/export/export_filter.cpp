#include "export/export_filter.h"

#include "platform/atomic_write.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

// A filter file that is a link may be written only when it leads to a file inside the
// repository: a cloned repository must not be able to aim our write at the user's other files.
bool isSafeToWrite(const QString &repoPath, const QString &path)
{
    const QFileInfo info(path);
    if (!info.isSymLink()) {
        return true;
    }
    const QString target = info.canonicalFilePath();
    const QString root = QFileInfo(repoPath).canonicalFilePath();
    return !target.isEmpty() && !root.isEmpty() && target.startsWith(root + QLatin1Char('/'));
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
    QFile file(filePath(repoPath));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return fromJson(file.readAll());
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

bool ExportFilter::save(const QString &repoPath) const
{
    const QString path = filePath(repoPath);
    if (!isSafeToWrite(repoPath, path)) {
        return false;
    }
    return atomicWrite(path, toJson()).ok;
}

} // namespace vesk
