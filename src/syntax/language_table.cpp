#include "syntax/language_table.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>

extern "C" {
const TSLanguage *tree_sitter_bash();
const TSLanguage *tree_sitter_c();
const TSLanguage *tree_sitter_cpp();
const TSLanguage *tree_sitter_css();
const TSLanguage *tree_sitter_go();
const TSLanguage *tree_sitter_html();
const TSLanguage *tree_sitter_java();
const TSLanguage *tree_sitter_javascript();
const TSLanguage *tree_sitter_json();
const TSLanguage *tree_sitter_make();
const TSLanguage *tree_sitter_markdown();
const TSLanguage *tree_sitter_python();
const TSLanguage *tree_sitter_rust();
const TSLanguage *tree_sitter_tsx();
const TSLanguage *tree_sitter_typescript();
}

namespace vesk {

namespace {

QStringList queries(std::initializer_list<const char *> names)
{
    QStringList files;
    for (const char *name : names) {
        files.append(QStringLiteral(":/syntax/") + QLatin1StringView(name));
    }
    return files;
}

const std::array<SyntaxLanguage, 15> &table()
{
    // A language that builds on another lists the other's query first, so that its own, more
    // special patterns come later and win.
    static const std::array<SyntaxLanguage, 15> languages = {{
        {QStringLiteral("Bash"), tree_sitter_bash, queries({"bash/highlights.scm"})},
        {QStringLiteral("C"), tree_sitter_c, queries({"c/highlights.scm"})},
        {QStringLiteral("C++"), tree_sitter_cpp, queries({"c/highlights.scm", "cpp/highlights.scm"})},
        {QStringLiteral("CSS"), tree_sitter_css, queries({"css/highlights.scm"})},
        {QStringLiteral("Go"), tree_sitter_go, queries({"go/highlights.scm"})},
        {QStringLiteral("HTML"), tree_sitter_html, queries({"html/highlights.scm"})},
        {QStringLiteral("Java"), tree_sitter_java, queries({"java/highlights.scm"})},
        {QStringLiteral("JavaScript"), tree_sitter_javascript,
         queries({"javascript/highlights.scm", "javascript/highlights-jsx.scm"})},
        {QStringLiteral("JSON"), tree_sitter_json, queries({"json/highlights.scm"})},
        {QStringLiteral("Makefile"), tree_sitter_make, queries({"make/highlights.scm"})},
        {QStringLiteral("Markdown"), tree_sitter_markdown, queries({"markdown/highlights.scm"})},
        {QStringLiteral("Python"), tree_sitter_python, queries({"python/highlights.scm"})},
        {QStringLiteral("Rust"), tree_sitter_rust, queries({"rust/highlights.scm"})},
        {QStringLiteral("TSX"), tree_sitter_tsx,
         queries({"javascript/highlights.scm", "javascript/highlights-jsx.scm", "typescript/highlights.scm"})},
        {QStringLiteral("TypeScript"), tree_sitter_typescript,
         queries({"javascript/highlights.scm", "typescript/highlights.scm"})},
    }};
    return languages;
}

struct Entry
{
    const char *key;
    const char *language;
};

// Extensions, compared without case.
constexpr Entry extensions[] = {
    {"sh", "Bash"},        {"bash", "Bash"},       {"zsh", "Bash"},        {"ksh", "Bash"},
    {"c", "C"},            {"h", "C++"},           {"cc", "C++"},          {"cpp", "C++"},
    {"cxx", "C++"},        {"c++", "C++"},         {"hh", "C++"},          {"hpp", "C++"},
    {"hxx", "C++"},        {"h++", "C++"},         {"ipp", "C++"},         {"inl", "C++"},
    {"tpp", "C++"},        {"ixx", "C++"},         {"cppm", "C++"},        {"css", "CSS"},
    {"go", "Go"},          {"html", "HTML"},       {"htm", "HTML"},        {"xhtml", "HTML"},
    {"java", "Java"},      {"js", "JavaScript"},   {"mjs", "JavaScript"},  {"cjs", "JavaScript"},
    {"jsx", "JavaScript"}, {"json", "JSON"},       {"jsonc", "JSON"},      {"geojson", "JSON"},
    {"webmanifest", "JSON"}, {"mk", "Makefile"},   {"mak", "Makefile"},    {"md", "Markdown"},
    {"markdown", "Markdown"}, {"mdown", "Markdown"}, {"mkd", "Markdown"},  {"py", "Python"},
    {"pyw", "Python"},     {"pyi", "Python"},      {"rs", "Rust"},         {"tsx", "TSX"},
    {"ts", "TypeScript"},  {"mts", "TypeScript"},  {"cts", "TypeScript"},
};

// Whole file names, compared with case.
constexpr Entry fileNames[] = {
    {"Makefile", "Makefile"},     {"makefile", "Makefile"},      {"GNUmakefile", "Makefile"},
    {".bashrc", "Bash"},          {".bash_profile", "Bash"},     {".bash_login", "Bash"},
    {".bash_logout", "Bash"},     {".bash_aliases", "Bash"},     {".profile", "Bash"},
    {".zshrc", "Bash"},           {".zprofile", "Bash"},         {".zshenv", "Bash"},
    {"PKGBUILD", "Bash"},         {"APKBUILD", "Bash"},          {"SConstruct", "Python"},
    {"SConscript", "Python"},     {"Pipfile.lock", "JSON"},      {".babelrc", "JSON"},
    {".eslintrc", "JSON"},        {"tsconfig.json", "JSON"},
};

// "#!" interpreters; a trailing version ("python3.12", "bash5") is ignored.
constexpr Entry interpreters[] = {
    {"sh", "Bash"},      {"bash", "Bash"},  {"dash", "Bash"},       {"zsh", "Bash"},
    {"ksh", "Bash"},     {"ash", "Bash"},   {"python", "Python"},   {"pypy", "Python"},
    {"node", "JavaScript"}, {"nodejs", "JavaScript"}, {"deno", "TypeScript"}, {"ts-node", "TypeScript"},
    {"tsx", "TypeScript"}, {"make", "Makefile"},
};

const SyntaxLanguage *lookUp(const Entry *begin, const Entry *end, QStringView key, Qt::CaseSensitivity cs)
{
    const Entry *found = std::find_if(begin, end, [&](const Entry &e) {
        return key.compare(QLatin1StringView(e.key), cs) == 0;
    });
    return found == end ? nullptr : LanguageTable::byName(QString::fromLatin1(found->language));
}

} // namespace

std::span<const SyntaxLanguage> LanguageTable::languages()
{
    return table();
}

const SyntaxLanguage *LanguageTable::byName(QStringView name)
{
    for (const SyntaxLanguage &language : table()) {
        if (language.name == name) {
            return &language;
        }
    }
    return nullptr;
}

const SyntaxLanguage *LanguageTable::forFileName(QStringView fileName)
{
    const qsizetype slash = fileName.lastIndexOf(u'/');
    const QStringView name = fileName.mid(slash + 1);
    if (const SyntaxLanguage *known = lookUp(std::begin(fileNames), std::end(fileNames), name, Qt::CaseSensitive)) {
        return known;
    }
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0) {  // no extension, or a dot file such as ".gitignore"
        return nullptr;
    }
    return lookUp(std::begin(extensions), std::end(extensions), name.mid(dot + 1), Qt::CaseInsensitive);
}

const SyntaxLanguage *LanguageTable::forFirstLine(QStringView firstLine)
{
    if (!firstLine.startsWith(u"#!")) {
        return nullptr;
    }
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    const QStringList parts = firstLine.mid(2).toString().split(spaces, Qt::SkipEmptyParts);
    qsizetype k = 0;
    // "/usr/bin/env [-S] [NAME=value ...] interpreter"
    if (k < parts.size() && parts[k].section(u'/', -1) == u"env") {
        ++k;
        while (k < parts.size() && (parts[k].startsWith(u'-') || parts[k].contains(u'='))) {
            ++k;
        }
    }
    if (k >= parts.size()) {
        return nullptr;
    }
    QString interpreter = parts[k].section(u'/', -1);
    while (!interpreter.isEmpty() && (interpreter.back().isDigit() || interpreter.back() == u'.')) {
        interpreter.chop(1);
    }
    return lookUp(std::begin(interpreters), std::end(interpreters), interpreter, Qt::CaseSensitive);
}

const SyntaxLanguage *LanguageTable::forFile(QStringView fileName, QStringView firstLine)
{
    if (const SyntaxLanguage *byFileName = forFileName(fileName)) {
        return byFileName;
    }
    return forFirstLine(firstLine);
}

} // namespace vesk
