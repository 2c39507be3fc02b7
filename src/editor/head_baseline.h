#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>

namespace vesk {

// What the repository's last commit holds for one working file.
struct HeadBaseline
{
    std::optional<QByteArray> content;  // the committed bytes, byte-order mark set apart; absent: none
    bool hasByteOrderMark = false;
    // Why there is no baseline when the user should hear of it (git did not answer in time, or
    // failed); empty when there simply is none (no repository, a file never committed, a folder
    // or a link leading out of the repository in the commit, content that is not UTF-8).
    QString problem;
};

namespace HeadBaselineLookup {

// The bound for the quickest lookups; reading a large object gets more time by its size.
inline constexpr std::chrono::milliseconds baseTimeout{5000};
inline constexpr qint64 bytesPerExtraSecond = qint64(8) << 20;

// The time allowed to read a committed object of `size` bytes.
std::chrono::milliseconds timeoutForSize(qint64 size);

// The committed content of the file at `path`. The path is resolved first (a file reached
// through a linked folder is asked of git by its real place); a link committed in HEAD gives
// the committed content of the file it leads to when that lies inside the repository. Blocking;
// any thread.
HeadBaseline lookUp(const QString &path);

} // namespace HeadBaselineLookup

} // namespace vesk
