#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <memory>

namespace vesk {

// A regular expression in PCRE2 syntax, compiled once for UTF-16 lines, for ASCII or UTF-8
// lines, and (when the pattern allows it) for whole ASCII buffers of many lines. Uses PCRE2's
// JIT where the library has it, and falls back to its interpreter when the JIT runs out of stack.
//
// Every run is bounded by a number of backtracking steps that grows with the length of the text,
// so an expression that runs in linear time finds its matches in lines of any length, and only
// runaway backtracking is cut: such a run reports `cutShort` rather than "no match".
//
// Holds per-run scratch memory: one instance per thread.
class CompiledRegex
{
public:
    enum class Outcome { match, noMatch, cutShort };

    // Where a whole-buffer run found its first match.
    struct BufferMatch
    {
        Outcome outcome = Outcome::noMatch;
        qsizetype start = -1;
    };

    // Backtracking steps a run may take: a fixed allowance plus this many per code unit.
    static constexpr quint32 baseStepLimit = 100000;
    static constexpr quint32 stepsPerUnit = 64;

    explicit CompiledRegex(const QString &pattern);
    ~CompiledRegex();
    CompiledRegex(const CompiledRegex &) = delete;
    CompiledRegex &operator=(const CompiledRegex &) = delete;

    bool isValid() const;
    // PCRE2's description of what is wrong, and where (in code points of the pattern).
    const QString &errorMessage() const { return m_error; }
    qsizetype errorOffset() const { return m_errorOffset; }

    // Whether the pattern occurs in one line (which holds no line break).
    Outcome match(QStringView line) const;
    Outcome match(QByteArrayView utf8Line) const;

    // Whether findInBuffer is available: the pattern matches wherever it matches in a line
    // also when the line is read in the middle of others (see regex_pattern::suitsWholeBuffer).
    bool canSearchBuffers() const;

    // The first match starting at or after `from` in ASCII text whose lines end in LF or CR LF
    // (no lone CR). A line that matches on its own holds or follows the start of such a match;
    // the converse does not hold, so the caller checks the line it lands in.
    BufferMatch findInBuffer(QByteArrayView ascii, qsizetype from) const;

private:
    struct Private;
    std::unique_ptr<Private> d;
    QString m_error;
    qsizetype m_errorOffset = -1;
};

} // namespace vesk
