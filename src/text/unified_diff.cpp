#include "text/unified_diff.h"

#include <QList>

#include <limits>

namespace vesk {

namespace {

// A line number or count: decimal digits only, no sign, and not past what qint64 holds.
std::optional<qint64> parseNumber(QStringView text)
{
    if (text.isEmpty()) {
        return std::nullopt;
    }
    for (const QChar c : text) {
        if (!(c.unicode() >= u'0' && c.unicode() <= u'9')) {
            return std::nullopt;
        }
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

// "-12,5" or "+3" without its sign character: start and count. The reader counts lines on from
// the start, so a range whose end does not fit in qint64 is no range.
bool parseRange(QStringView part, qint64 &start, qint64 &count)
{
    const QStringView body = part.sliced(1);
    const qsizetype comma = body.indexOf(u',');
    const std::optional<qint64> s = parseNumber(comma < 0 ? body : body.first(comma));
    const std::optional<qint64> c = comma < 0 ? std::optional<qint64>(1) : parseNumber(body.sliced(comma + 1));
    if (!s || !c || *s > std::numeric_limits<qint64>::max() - *c) {
        return false;
    }
    start = *s;
    count = *c;
    return true;
}

} // namespace

std::optional<HunkHeader> parseHunkHeader(QStringView line)
{
    if (!line.startsWith(u"@@")) {
        return std::nullopt;
    }
    HunkHeader header;
    bool haveOld = false;
    bool haveNew = false;
    for (QStringView part : line.split(u' ')) {
        if (!haveOld && part.startsWith(u'-') && part != u"---") {
            haveOld = parseRange(part, header.oldStart, header.oldCount);
            if (!haveOld) {
                return std::nullopt;
            }
        } else if (!haveNew && part.startsWith(u'+') && part != u"+++") {
            haveNew = parseRange(part, header.newStart, header.newCount);
            if (!haveNew) {
                return std::nullopt;
            }
        }
        if (haveOld && haveNew) {
            return header;
        }
    }
    return std::nullopt;
}

std::vector<DiffLine> parseUnifiedDiff(QStringView diff)
{
    std::vector<DiffLine> result;
    qint64 oldLeft = 0;
    qint64 newLeft = 0;
    qint64 oldNumber = 0;
    qint64 newNumber = 0;
    for (QStringView line : diff.split(u'\n')) {
        DiffLine entry;
        const bool inHunk = oldLeft > 0 || newLeft > 0;
        if (line.startsWith(u'\\')) {
            entry.kind = DiffLine::Kind::NoNewlineMarker;
            entry.content = line.toString();
        } else if (inHunk && line.startsWith(u'-') && oldLeft > 0) {
            entry.kind = DiffLine::Kind::Deletion;
            entry.content = line.sliced(1).toString();
            entry.oldNumber = oldNumber++;
            --oldLeft;
        } else if (inHunk && line.startsWith(u'+') && newLeft > 0) {
            entry.kind = DiffLine::Kind::Addition;
            entry.content = line.sliced(1).toString();
            entry.newNumber = newNumber++;
            --newLeft;
        } else if (inHunk && (line.startsWith(u' ') || line.isEmpty()) && oldLeft > 0 && newLeft > 0) {
            // Some tools strip the space of an empty context line.
            entry.kind = DiffLine::Kind::Context;
            entry.content = line.isEmpty() ? QString() : line.sliced(1).toString();
            entry.oldNumber = oldNumber++;
            entry.newNumber = newNumber++;
            --oldLeft;
            --newLeft;
        } else {
            oldLeft = newLeft = 0;
            entry.content = line.toString();
            if (line.startsWith(u"@@")) {
                entry.kind = DiffLine::Kind::HunkHeader;
                entry.hunk = parseHunkHeader(line);
                if (entry.hunk) {
                    oldLeft = entry.hunk->oldCount;
                    newLeft = entry.hunk->newCount;
                    oldNumber = entry.hunk->oldStart;
                    newNumber = entry.hunk->newStart;
                }
            } else if (line.startsWith(u"--- ") || line.startsWith(u"+++ ") || line == u"---"
                       || line == u"+++" || line.startsWith(u"diff ") || line.startsWith(u"index ")) {
                entry.kind = DiffLine::Kind::FileHeader;
            }
        }
        result.push_back(std::move(entry));
    }
    return result;
}

} // namespace vesk
