#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <span>

struct TSLanguage;

namespace vesk {

// One language the editor colours: its name as the user sees it, its Tree-sitter grammar and
// the highlight query files (resource paths) that together make its highlight query.
struct SyntaxLanguage
{
    QString name;
    const TSLanguage *(*grammar)() = nullptr;
    QStringList queryFiles;
};

// Which language a file is written in: first from its name (extension, or a well-known name such
// as "Makefile" or ".bashrc"), then from a "#!" first line; null for plain text.
class LanguageTable
{
public:
    static std::span<const SyntaxLanguage> languages();
    static const SyntaxLanguage *byName(QStringView name);

    static const SyntaxLanguage *forFileName(QStringView fileName);
    // The interpreter of a "#!" line: "#!/bin/sh", "#!/usr/bin/env -S python3 -u".
    static const SyntaxLanguage *forFirstLine(QStringView firstLine);
    static const SyntaxLanguage *forFile(QStringView fileName, QStringView firstLine);
};

} // namespace vesk
