#pragma once

#include "export/export_node.h"

#include <QHash>
#include <QSet>
#include <QString>

namespace vesk {

// How much a selection would send to an assistant. Text (and private files, which are text as
// far as an assistant goes) is estimated in tokens; images and binaries are counted apart, since
// an assistant does not read them as text.
struct SelectionSize
{
    int textFiles = 0;
    qint64 textBytes = 0;
    int imageFiles = 0;
    qint64 imageBytes = 0;
    int binaryFiles = 0;
    qint64 binaryBytes = 0;

    int files() const { return textFiles + imageFiles + binaryFiles; }
    qint64 bytes() const { return textBytes + imageBytes + binaryBytes; }
    // About four bytes of source text make one token.
    qint64 estimatedTokens() const { return (textBytes + bytesPerToken - 1) / bytesPerToken; }

    static constexpr qint64 bytesPerToken = 4;

    friend bool operator==(const SelectionSize &, const SelectionSize &) = default;
};

// The sizes of the files of one scan, measured once so that every change of the selection can
// be summed without touching the disk again.
class ExportSizeTable
{
public:
    // Reads the size of every file of `tree` (links followed; an unreadable file counts 0 bytes).
    void measure(const QString &repoPath, const ExportTree &tree);

    SelectionSize sizeOf(const QSet<QString> &selectedPaths) const;

private:
    struct Entry
    {
        qint64 bytes = 0;
        FileCategory category = FileCategory::Text;
    };
    QHash<QString, Entry> m_entries;
};

// "1.2 MB", "≈ 310k tokens" and the like, in the user's locale.
QString formatByteCount(qint64 bytes);
QString formatTokenCount(qint64 tokens);

// The line shown beside the export status, e.g. "2.1 MB  ·  ≈ 530k tokens  ·  + 3 images,
// 1 binary (820 kB)"; empty when nothing is selected.
QString describeSelectionSize(const SelectionSize &size);

} // namespace vesk
