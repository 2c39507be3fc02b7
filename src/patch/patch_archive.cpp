#include "patch/patch_archive.h"

#include "platform/process_runner.h"
#include "platform/tool_paths.h"
#include "text/utf8.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStorageInfo>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace vesk {

namespace {

// How often the free space is looked at while unzip runs.
constexpr std::chrono::milliseconds spacePollInterval{50};
// Any more errors than this are summed up in one line: a hostile archive may hold thousands.
constexpr qsizetype maxReportedEntries = 20;

struct ToolRun
{
    ToolOutcome outcome = ToolOutcome::Failed;
    QString startError;
    QByteArray output;
};

QString startFailure(const QString &program)
{
    if (::access(QFile::encodeName(program).constData(), X_OK) != 0) {
        return QStringLiteral("Could not run %1: %2").arg(program, qt_error_string(errno));
    }
    return QStringLiteral("Could not run %1").arg(program);
}

ToolRun runTool(const ProcessRequest &request)
{
    QElapsedTimer timer;
    timer.start();
    const std::optional<ProcessResult> result = runProcess(request);
    if (result) {
        const bool ok = !result->endedBySignal && result->exitCode == 0;
        return {ok ? ToolOutcome::Done : ToolOutcome::Failed, {}, result->standardOutput};
    }
    // runProcess answers nothing both for a program that never started and for one that ran
    // out of time; only the second can have used up the time.
    if (request.timeout && timer.elapsed() >= request.timeout->count()) {
        return {};
    }
    return {ToolOutcome::CannotStart, startFailure(request.program), {}};
}

// The table printed by `unzip -Z`: two header lines, one line per entry, one totals line.
// Reading from the end keeps an odd archive name in the header from mattering.
std::optional<QList<ArchiveEntry>> parseListing(const QByteArray &output)
{
    QList<QByteArray> lines = output.split('\n');
    while (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    if (lines.isEmpty()) {
        return std::nullopt;
    }
    const QRegularExpression totals(QStringLiteral(R"(^(\d+) files?, \d+ bytes uncompressed, )"));
    const QRegularExpressionMatch totalsMatch = totals.match(QString::fromLatin1(lines.last()));
    bool ok = false;
    const qint64 count = totalsMatch.captured(1).toLongLong(&ok);
    if (!totalsMatch.hasMatch() || !ok || count > lines.size() - 2) {
        return std::nullopt;
    }
    // The line above the entries must be the header that announces them: a tool that printed
    // a line break inside a name would otherwise slip a made-up entry line past us.
    const QRegularExpression header(QStringLiteral(R"(^Zip file size: \d+ bytes, number of entries: (\d+)$)"));
    const qsizetype first = lines.size() - 1 - count;
    const QRegularExpressionMatch headerMatch = header.match(QString::fromLatin1(lines[first - 1]));
    if (!headerMatch.hasMatch() || headerMatch.captured(1).toLongLong() != count) {
        return std::nullopt;
    }
    // permissions, version, host, size, text/extra flags, method, date, time, then the name
    // after exactly one space (a name may itself begin with spaces).
    const QRegularExpression entryLine(
        QStringLiteral(R"(^(\S)\S*\s+\S+\s+\S+\s+(\d+)\s+(\S)\S*\s+\S+\s+\S+\s+\d\d:\d\d (.+)$)"));
    QList<ArchiveEntry> entries;
    entries.reserve(count);
    for (qsizetype i = first; i < lines.size() - 1; ++i) {
        // Latin-1 maps bytes to characters one to one, so the name's bytes come back intact.
        const QRegularExpressionMatch match = entryLine.match(QString::fromLatin1(lines[i]));
        if (!match.hasMatch()) {
            return std::nullopt;
        }
        ArchiveEntry entry;
        entry.type = char(match.captured(1).at(0).unicode());
        entry.size = match.captured(2).toLongLong(&ok);
        entry.encrypted = match.captured(3).at(0).isUpper();  // "T" or "B" instead of "t" or "b"
        entry.listedName = match.captured(4).toLatin1();
        if (!ok) {
            return std::nullopt;
        }
        entries.append(entry);
    }
    return entries;
}

bool isControlCharacter(char32_t c)
{
    switch (c) {
    case 0x061C:  // Arabic letter mark
    case 0x200E:  // left-to-right and right-to-left marks
    case 0x200F:
    case 0x2028:  // line and paragraph separators
    case 0x2029:
        return true;
    default:
        break;
    }
    // Embeddings, overrides and isolates can make "evil.sh" read as something harmless.
    if ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) {
        return true;
    }
    return QChar::category(c) == QChar::Other_Control;
}

bool holdsControlCharacter(const QString &name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        // The listing prints a control character as "^" and a letter; a name that really holds
        // such a pair cannot be told apart and is refused with them.
        if (name[i] == u'^' && i + 1 < name.size()) {
            const char16_t next = name[i + 1].unicode();
            if ((next >= u'@' && next <= u'_') || next == u'?') {
                return true;
            }
        }
    }
    for (const char32_t c : name.toUcs4()) {
        if (isControlCharacter(c)) {
            return true;
        }
    }
    return false;
}

bool startsWithDriveLetter(const QString &path)
{
    return path.size() >= 2 && path[1] == u':' && path[0].unicode() < 0x80 && path[0].isLetter();
}

// Why one entry may not be unpacked, judged on its own; empty when it may.
QString entryProblem(const ArchiveEntry &entry, const QString &name)
{
    const bool isFolder = name.endsWith(u'/');
    if (entry.type == 'l') {
        return QStringLiteral("it is a symbolic link");
    }
    const bool regular = entry.type == '-' || entry.type == '?' || (isFolder && entry.type == 'd');
    if (!regular) {
        return QStringLiteral("it is not a regular file or folder");
    }
    if (entry.encrypted) {
        // unzip would ask for the password on the terminal and wait.
        return QStringLiteral("it is encrypted");
    }
    if (holdsControlCharacter(name)) {
        return QStringLiteral("its name holds a control character");
    }
    if (name.contains(u'\\')) {
        return QStringLiteral("its name holds a backslash");
    }
    if (name.startsWith(u'/')) {
        return QStringLiteral("its path is absolute");
    }
    if (startsWithDriveLetter(name)) {
        return QStringLiteral("its path begins with a drive letter");
    }
    const QStringList parts = (isFolder ? name.chopped(1) : name).split(u'/');
    if (parts.contains(QStringLiteral(".."))) {
        return QStringLiteral("its path leads out of the archive's folder");
    }
    if (parts.contains(QString()) || parts.contains(QStringLiteral("."))) {
        return QStringLiteral("its path has an empty or \".\" part");
    }
    return {};
}

// Names that one file system keeps apart may be one file on another (case, composed or
// decomposed letters), and an archive written on one is often unpacked on the other.
QString collisionKey(const QString &path)
{
    return path.normalized(QString::NormalizationForm_D).toCaseFolded();
}

QString refusal(const QString &name, const QString &reason)
{
    return QStringLiteral("Refused archive entry \"%1\": %2").arg(name, reason);
}

QString sizeText(qint64 bytes)
{
    constexpr qint64 mebibyte = qint64(1) << 20;
    constexpr qint64 gibibyte = qint64(1) << 30;
    if (bytes % gibibyte == 0) {
        return QStringLiteral("%1 GiB").arg(bytes / gibibyte);
    }
    if (bytes % mebibyte == 0) {
        return QStringLiteral("%1 MiB").arg(bytes / mebibyte);
    }
    return QStringLiteral("%1 bytes").arg(bytes);
}

// Watches the free space of a file system from a thread of its own and cancels the given
// process once more than `budget` bytes have gone.
class SpaceGuard
{
public:
    SpaceGuard(const QString &dir, qint64 budget, std::shared_ptr<ProcessCancel> cancel)
        : m_thread([this, dir, budget, cancel] { watch(dir, budget, *cancel); })
    {
    }

    ~SpaceGuard()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    bool tripped() const
    {
        std::lock_guard lock(m_mutex);
        return m_tripped;
    }

private:
    void watch(const QString &dir, qint64 budget, ProcessCancel &cancel)
    {
        QStorageInfo storage(dir);
        const qint64 start = storage.bytesAvailable();
        std::unique_lock lock(m_mutex);
        while (!m_wake.wait_for(lock, spacePollInterval, [this] { return m_stop; })) {
            storage.refresh();
            if (start >= 0 && storage.isValid() && start - storage.bytesAvailable() > budget) {
                m_tripped = true;
                cancel.cancel();
                return;
            }
        }
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_tripped = false;
    std::thread m_thread;  // last: starts once everything it uses exists
};

} // namespace

ArchiveListing listArchive(const QString &zipPath, std::chrono::milliseconds timeout)
{
    ProcessRequest request;
    request.program = toolPath(Tool::Unzip);
    request.arguments = {QStringLiteral("-Z"), zipPath};
    request.timeout = timeout;
    const ToolRun run = runTool(request);
    ArchiveListing listing;
    listing.outcome = run.outcome;
    listing.startError = run.startError;
    if (run.outcome == ToolOutcome::Done) {
        std::optional<QList<ArchiveEntry>> entries = parseListing(run.output);
        if (entries) {
            listing.entries = std::move(*entries);
        } else {
            listing.outcome = ToolOutcome::Failed;
        }
    }
    return listing;
}

QStringList vetArchive(const QList<ArchiveEntry> &entries, const PatchLimits &limits)
{
    if (entries.size() > limits.maxEntries) {
        return {tooManyEntriesMessage(limits)};
    }
    qint64 total = 0;
    for (const ArchiveEntry &entry : entries) {
        // Compared before adding, so that no claimed size can overflow the sum.
        if (entry.size > limits.maxUnpackedBytes - total) {
            return {tooLargeMessage(limits)};
        }
        total += entry.size;
    }

    QStringList problems;
    QHash<QString, QString> files;    // collision key -> name, for files
    QHash<QString, QString> folders;  // collision key -> name of an entry that needs the folder
    QList<std::pair<QString, QString>> accepted;
    for (const ArchiveEntry &entry : entries) {
        const std::optional<QString> decoded = decodeUtf8(entry.listedName);
        if (!decoded) {
            problems << refusal(QString::fromUtf8(entry.listedName), QStringLiteral("its name is not valid UTF-8"));
            continue;
        }
        const QString reason = entryProblem(entry, *decoded);
        if (!reason.isEmpty()) {
            problems << refusal(*decoded, reason);
            continue;
        }
        const bool isFolder = decoded->endsWith(u'/');
        const QString path = isFolder ? decoded->chopped(1) : *decoded;
        const QString key = collisionKey(path);
        if (!isFolder && files.contains(key)) {
            problems << refusal(*decoded, QStringLiteral("another entry has the same name"));
            continue;
        }
        (isFolder ? folders : files).insert(key, *decoded);
        for (qsizetype slash = key.indexOf(u'/'); slash >= 0; slash = key.indexOf(u'/', slash + 1)) {
            folders.insert(key.left(slash), *decoded);
        }
        accepted.append({key, *decoded});
    }
    // A name cannot be a file and a folder at once; which one unzip keeps depends on the order.
    for (const auto &[key, name] : std::as_const(accepted)) {
        if (files.value(key) == name && folders.contains(key)) {
            problems << refusal(name, QStringLiteral("another entry uses it as a folder"));
        }
    }

    return summarized(problems);
}

QStringList summarized(QStringList problems)
{
    if (problems.size() > maxReportedEntries) {
        const qsizetype more = problems.size() - maxReportedEntries;
        problems.resize(maxReportedEntries);
        problems << QStringLiteral("%1 more archive entries were refused").arg(more);
    }
    return problems;
}

QString fileKey(const QString &relativePath)
{
    return relativePath.normalized(QString::NormalizationForm_C);
}

QSet<QString> listedFileKeys(const QList<ArchiveEntry> &entries)
{
    QSet<QString> keys;
    for (const ArchiveEntry &entry : entries) {
        const QString name = QString::fromUtf8(entry.listedName);
        if (!name.endsWith(u'/')) {
            keys.insert(fileKey(name));
        }
    }
    return keys;
}

UnpackOutcome unpackArchive(const QString &zipPath, const QString &dir, qint64 byteBudget,
                            std::chrono::milliseconds timeout)
{
    ProcessRequest request;
    request.program = toolPath(Tool::Unzip);
    request.arguments = {QStringLiteral("-o"), QStringLiteral("-q"), zipPath, QStringLiteral("-d"), dir};
    request.timeout = timeout;
    request.cancel = std::make_shared<ProcessCancel>();
    ToolRun run;
    bool overBudget = false;
    {
        SpaceGuard guard(dir, byteBudget, request.cancel);
        run = runTool(request);
        overBudget = guard.tripped();
    }
    return {run.outcome, run.startError, overBudget};
}

QString tooManyEntriesMessage(const PatchLimits &limits)
{
    return QStringLiteral("The archive holds more than %1 entries").arg(limits.maxEntries);
}

QString tooLargeMessage(const PatchLimits &limits)
{
    return QStringLiteral("The archive unpacks to more than %1").arg(sizeText(limits.maxUnpackedBytes));
}

} // namespace vesk
