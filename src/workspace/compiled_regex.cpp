#include "workspace/compiled_regex.h"

#include "workspace/regex_pattern.h"

#include <QByteArray>

#include <algorithm>
#include <limits>

#define PCRE2_CODE_UNIT_WIDTH 0
#include <pcre2.h>

namespace vesk {

namespace {

// The 8-bit and 16-bit libraries, behind one set of names.
struct Pcre8
{
    using Char = PCRE2_UCHAR8;
    using Code = pcre2_code_8;
    using Data = pcre2_match_data_8;
    using Context = pcre2_match_context_8;
    using CompileContext = pcre2_compile_context_8;
    using Stack = pcre2_jit_stack_8;
    static constexpr auto compile = pcre2_compile_8;
    static constexpr auto jitCompile = pcre2_jit_compile_8;
    static constexpr auto match = pcre2_match_8;
    static constexpr auto createData = pcre2_match_data_create_from_pattern_8;
    static constexpr auto ovector = pcre2_get_ovector_pointer_8;
    static constexpr auto setMatchLimit = pcre2_set_match_limit_8;
    static constexpr auto createContext = pcre2_match_context_create_8;
    static constexpr auto createCompileContext = pcre2_compile_context_create_8;
    static constexpr auto setNewline = pcre2_set_newline_8;
    static constexpr auto createStack = pcre2_jit_stack_create_8;
    static constexpr auto assignStack = pcre2_jit_stack_assign_8;
    static void free(Code *p) { pcre2_code_free_8(p); }
    static void free(Data *p) { pcre2_match_data_free_8(p); }
    static void free(Context *p) { pcre2_match_context_free_8(p); }
    static void free(CompileContext *p) { pcre2_compile_context_free_8(p); }
    static void free(Stack *p) { pcre2_jit_stack_free_8(p); }
};

struct Pcre16
{
    using Char = PCRE2_UCHAR16;
    using Code = pcre2_code_16;
    using Data = pcre2_match_data_16;
    using Context = pcre2_match_context_16;
    using CompileContext = pcre2_compile_context_16;
    using Stack = pcre2_jit_stack_16;
    static constexpr auto compile = pcre2_compile_16;
    static constexpr auto jitCompile = pcre2_jit_compile_16;
    static constexpr auto match = pcre2_match_16;
    static constexpr auto createData = pcre2_match_data_create_from_pattern_16;
    static constexpr auto ovector = pcre2_get_ovector_pointer_16;
    static constexpr auto setMatchLimit = pcre2_set_match_limit_16;
    static constexpr auto createContext = pcre2_match_context_create_16;
    static constexpr auto createCompileContext = pcre2_compile_context_create_16;
    static constexpr auto setNewline = pcre2_set_newline_16;
    static constexpr auto createStack = pcre2_jit_stack_create_16;
    static constexpr auto assignStack = pcre2_jit_stack_assign_16;
    static void free(Code *p) { pcre2_code_free_16(p); }
    static void free(Data *p) { pcre2_match_data_free_16(p); }
    static void free(Context *p) { pcre2_match_context_free_16(p); }
    static void free(CompileContext *p) { pcre2_compile_context_free_16(p); }
    static void free(Stack *p) { pcre2_jit_stack_free_16(p); }
};

template <typename P, typename T>
struct Owned
{
    T *p = nullptr;
    Owned() = default;
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    ~Owned() { reset(); }
    void reset(T *value = nullptr)
    {
        if (p) {
            P::free(p);
        }
        p = value;
    }
};

// The JIT keeps its backtracking memory here; a run that needs more goes to the interpreter,
// which keeps it on the heap.
constexpr size_t jitStackStart = size_t(32) << 10;
constexpr size_t jitStackMax = size_t(1) << 20;

uint32_t stepLimit(size_t units)
{
    const quint64 limit = quint64(CompiledRegex::baseStepLimit) + quint64(CompiledRegex::stepsPerUnit) * units;
    return uint32_t(std::min<quint64>(limit, std::numeric_limits<uint32_t>::max()));
}

bool isResourceLimit(int rc)
{
    return rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT || rc == PCRE2_ERROR_HEAPLIMIT
           || rc == PCRE2_ERROR_JIT_STACKLIMIT || rc == PCRE2_ERROR_NOMEMORY;
}

// One compiled form with what its runs need.
template <typename P>
struct Program
{
    Owned<P, typename P::Code> code;
    Owned<P, typename P::Data> data;
    Owned<P, typename P::Context> context;
    Owned<P, typename P::Stack> stack;

    // Returns PCRE2's error code (0 when compiled).
    int compile(const typename P::Char *pattern, size_t length, uint32_t options, uint32_t newline,
                PCRE2_SIZE *errorOffset)
    {
        Owned<P, typename P::CompileContext> compileContext;
        if (newline) {
            compileContext.reset(P::createCompileContext(nullptr));
            P::setNewline(compileContext.p, newline);
        }
        int error = 0;
        code.reset(P::compile(pattern, length, options, &error, errorOffset, compileContext.p));
        if (!code.p) {
            return error;
        }
        data.reset(P::createData(code.p, nullptr));
        context.reset(P::createContext(nullptr));
        if (P::jitCompile(code.p, PCRE2_JIT_COMPLETE) == 0) {
            stack.reset(P::createStack(jitStackStart, jitStackMax, nullptr));
            P::assignStack(context.p, nullptr, stack.p);
        }
        return 0;
    }

    bool isReady() const { return code.p && data.p && context.p; }

    CompiledRegex::Outcome run(const typename P::Char *subject, size_t length, size_t from, qsizetype *start)
    {
        if (!isReady()) {
            return CompiledRegex::Outcome::noMatch;
        }
        P::setMatchLimit(context.p, stepLimit(length - from));
        int rc = P::match(code.p, subject, length, from, PCRE2_NO_UTF_CHECK, data.p, context.p);
        if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
            rc = P::match(code.p, subject, length, from, PCRE2_NO_UTF_CHECK | PCRE2_NO_JIT, data.p, context.p);
        }
        if (rc >= 0) {
            if (start) {
                *start = qsizetype(P::ovector(data.p)[0]);
            }
            return CompiledRegex::Outcome::match;
        }
        return isResourceLimit(rc) ? CompiledRegex::Outcome::cutShort : CompiledRegex::Outcome::noMatch;
    }
};

QString errorText(int code)
{
    PCRE2_UCHAR16 buffer[256];
    const int length = pcre2_get_error_message_16(code, buffer, std::size(buffer));
    return length > 0 ? QString::fromUtf16(reinterpret_cast<const char16_t *>(buffer), length) : QString();
}

} // namespace

struct CompiledRegex::Private
{
    Program<Pcre16> line16;
    Program<Pcre8> line8;
    Program<Pcre8> buffer8;
};

CompiledRegex::CompiledRegex(const QString &pattern)
    : d(std::make_unique<Private>())
{
    // Like QRegularExpression with UseUnicodePropertiesOption: \w, \d, [[:alpha:]] are Unicode's.
    constexpr uint32_t options = PCRE2_UTF | PCRE2_UCP;
    PCRE2_SIZE offset = 0;
    const int error = d->line16.compile(reinterpret_cast<const PCRE2_UCHAR16 *>(pattern.utf16()),
                                        size_t(pattern.size()), options, 0, &offset);
    if (error != 0) {
        m_error = errorText(error);
        m_errorOffset = qsizetype(offset);
        return;
    }
    const QByteArray utf8 = pattern.toUtf8();
    const auto *pattern8 = reinterpret_cast<const PCRE2_UCHAR8 *>(utf8.constData());
    d->line8.compile(pattern8, size_t(utf8.size()), options, 0, &offset);
    if (regex_pattern::suitsWholeBuffer(pattern)) {
        // ALT_CIRCUMFLEX: ^ also matches after a final line break, where the text's last (empty)
        // line starts.
        d->buffer8.compile(pattern8, size_t(utf8.size()), options | PCRE2_MULTILINE | PCRE2_ALT_CIRCUMFLEX,
                           PCRE2_NEWLINE_ANYCRLF, &offset);
    }
}

CompiledRegex::~CompiledRegex() = default;

bool CompiledRegex::isValid() const
{
    return d->line16.isReady();
}

CompiledRegex::Outcome CompiledRegex::match(QStringView line) const
{
    return d->line16.run(reinterpret_cast<const PCRE2_UCHAR16 *>(line.utf16()), size_t(line.size()), 0, nullptr);
}

CompiledRegex::Outcome CompiledRegex::match(QByteArrayView utf8Line) const
{
    return d->line8.run(reinterpret_cast<const PCRE2_UCHAR8 *>(utf8Line.data()), size_t(utf8Line.size()), 0,
                        nullptr);
}

bool CompiledRegex::canSearchBuffers() const
{
    return d->buffer8.isReady();
}

CompiledRegex::BufferMatch CompiledRegex::findInBuffer(QByteArrayView ascii, qsizetype from) const
{
    BufferMatch result;
    if (from > ascii.size()) {
        return result;
    }
    result.outcome = d->buffer8.run(reinterpret_cast<const PCRE2_UCHAR8 *>(ascii.data()), size_t(ascii.size()),
                                    size_t(from), &result.start);
    return result;
}

} // namespace vesk
