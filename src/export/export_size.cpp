#include "export/export_size.h"

#include <QFile>
#include <QLocale>
#include <QStringList>

#include <sys/stat.h>

namespace vesk {

namespace {

const QString separator = QStringLiteral("  \u00B7  ");

qint64 fileBytes(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return 0;
    }
    return qint64(st.st_size);
}

QString countOf(int count, const char *singular, const char *plural)
{
    return QLocale().toString(count) + QLatin1Char(' ') + QLatin1String(count == 1 ? singular : plural);
}

} // namespace

void ExportSizeTable::measure(const QString &repoPath, const ExportTree &tree)
{
    m_entries.clear();
    const QList<const ExportNode *> files = allFileNodes(tree);
    m_entries.reserve(files.size());
    for (const ExportNode *file : files) {
        m_entries.insert(file->relativePath,
                         {fileBytes(repoPath + QLatin1Char('/') + file->relativePath), file->category});
    }
}

SelectionSize ExportSizeTable::sizeOf(const QSet<QString> &selectedPaths) const
{
    SelectionSize size;
    for (const QString &path : selectedPaths) {
        const auto it = m_entries.constFind(path);
        if (it == m_entries.cend()) {
            continue;
        }
        switch (it->category) {
        case FileCategory::Text:
        case FileCategory::Secret:
            ++size.textFiles;
            size.textBytes += it->bytes;
            break;
        case FileCategory::Image:
            ++size.imageFiles;
            size.imageBytes += it->bytes;
            break;
        case FileCategory::Binary:
            ++size.binaryFiles;
            size.binaryBytes += it->bytes;
            break;
        }
    }
    return size;
}

QString formatByteCount(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString formatTokenCount(qint64 tokens)
{
    const QLocale locale;
    QString number;
    if (tokens < 1000) {
        number = locale.toString(tokens);
    } else if (tokens < 10'000) {
        number = locale.toString(double(tokens) / 1e3, 'f', 1) + QLatin1Char('k');
    } else if (tokens < 999'500) {
        number = locale.toString((tokens + 500) / 1000) + QLatin1Char('k');
    } else {
        number = locale.toString(double(tokens) / 1e6, 'f', 1) + QLatin1Char('M');
    }
    return QStringLiteral("\u2248 ") + number + QLatin1String(tokens == 1 ? " token" : " tokens");
}

QString describeSelectionSize(const SelectionSize &size)
{
    if (size.files() == 0) {
        return {};
    }
    QStringList parts{formatByteCount(size.bytes())};
    if (size.textFiles > 0) {
        parts.append(formatTokenCount(size.estimatedTokens()));
    }
    QStringList apart;
    if (size.imageFiles > 0) {
        apart.append(countOf(size.imageFiles, "image", "images"));
    }
    if (size.binaryFiles > 0) {
        apart.append(countOf(size.binaryFiles, "binary", "binaries"));
    }
    if (!apart.isEmpty()) {
        parts.append(QStringLiteral("+ ") + apart.join(QStringLiteral(", ")) + QStringLiteral(" (")
                     + formatByteCount(size.imageBytes + size.binaryBytes) + QLatin1Char(')'));
    }
    return parts.join(separator);
}

} // namespace vesk
