#include "export/file_classifier.h"

#include "export/path_order.h"
#include "platform/regular_file.h"
#include "text/utf8.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <string_view>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {

namespace {

QSet<QString> setOf(std::initializer_list<const char *> items)
{
    QSet<QString> set;
    set.reserve(qsizetype(items.size()));
    for (const char *item : items) {
        set.insert(QString::fromUtf8(item));
    }
    return set;
}

struct ContentMarker
{
    std::string_view bytes;
    // Short key prefixes count only where a word starts, so "task-list" does not hold "sk-".
    bool atWordStart;
};

// The listed markers first, in their order; the private-key formats after them, so a listed
// marker always reports as before.
constexpr std::array contentMarkers{
    ContentMarker{"BEGIN PRIVATE KEY", false},
    ContentMarker{"BEGIN RSA PRIVATE KEY", false},
    ContentMarker{"BEGIN EC PRIVATE KEY", false},
    ContentMarker{"BEGIN OPENSSH PRIVATE KEY", false},
    ContentMarker{"BEGIN DSA PRIVATE KEY", false},
    ContentMarker{"API_KEY=", false},
    ContentMarker{"api_key=", false},
    ContentMarker{"apiKey=", false},
    ContentMarker{"SECRET_KEY=", false},
    ContentMarker{"secret_key=", false},
    ContentMarker{"secretKey=", false},
    ContentMarker{"password=", false},
    ContentMarker{"PASSWORD=", false},
    ContentMarker{"passwd=", false},
    ContentMarker{"AKIA", true},
    ContentMarker{"sk-", true},
    ContentMarker{"ghp_", true},
    ContentMarker{"gho_", true},
    ContentMarker{"sk_live_", true},
    ContentMarker{"rk_live_", true},
    ContentMarker{"Bearer ", false},
    ContentMarker{"BEGIN ENCRYPTED PRIVATE KEY", false},
    ContentMarker{"BEGIN PGP PRIVATE KEY BLOCK", false},
    ContentMarker{"BEGIN SSH2 ENCRYPTED PRIVATE KEY", false},
    ContentMarker{"PuTTY-User-Key-File-", false},
};

struct Signature
{
    std::string_view bytes;
    const char *reason;
};

constexpr std::array signatures{
    Signature{"\x1F\x8B", "Gzip archive"},
    Signature{"\x25\x50\x44\x46", "PDF document"},
    Signature{"\x50\x4B\x03\x04", "ZIP/JAR archive"},
    Signature{"\x7F\x45\x4C\x46", "ELF binary"},
    Signature{"\xCA\xFE\xBA\xBE", "Universal binary"},
    Signature{"\xCE\xFA\xED\xFE", "Mach-O executable"},
    Signature{"\xCF\xFA\xED\xFE", "Mach-O executable"},
    Signature{"\xFE\xED\xFA\xCE", "Mach-O executable"},
    Signature{"\xFE\xED\xFA\xCF", "Mach-O executable"},
};

// Whether the character just before `pos` is a letter, a digit or "_". The text is valid UTF-8.
bool followsWordCharacter(std::string_view text, size_t pos)
{
    if (pos == 0) {
        return false;
    }
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const unsigned char last = p[pos - 1];
    if (last < 0x80) {
        return (last >= '0' && last <= '9') || (last >= 'A' && last <= 'Z') || (last >= 'a' && last <= 'z')
               || last == '_';
    }
    size_t start = pos - 1;
    while (start > 0 && pos - start < 4 && (p[start] & 0xC0) == 0x80) {
        --start;
    }
    const unsigned char lead = p[start];
    const size_t length = pos - start;
    char32_t code = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (size_t k = start + 1; k < pos; ++k) {
        code = (code << 6) | (p[k] & 0x3F);
    }
    return QChar::isLetter(code) || QChar::isDigit(code);
}

bool containsMarker(std::string_view text, const ContentMarker &marker)
{
    size_t pos = text.find(marker.bytes);
    while (pos != std::string_view::npos) {
        if (!marker.atWordStart || !followsWordCharacter(text, pos)) {
            return true;
        }
        pos = text.find(marker.bytes, pos + 1);
    }
    return false;
}

// The first bytes of a regular file; nullopt when it cannot be opened. Special files (pipes,
// sockets, devices) are never read: opening a pipe would wait for a writer forever.
std::optional<QByteArray> readSample(const QString &path)
{
    RegularFile file = openRegularFile(path);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    QByteArray sample;
    if (!readOpenedFile(file, sample, FileClassifier::sampleSize)) {
        sample.clear();  // a read error counts as an empty sample
    }
    return sample;
}

Classification textResult(const QString &ext)
{
    if (ext.isEmpty()) {
        return {FileCategory::Text, QStringLiteral("Text file")};
    }
    return {FileCategory::Text, QStringLiteral("Text file (.") + ext + QLatin1Char(')')};
}

Classification classifyContent(const QByteArray &sample, const QString &ext)
{
    if (sample.isEmpty()) {
        return {FileCategory::Text, QStringLiteral("Empty file")};
    }
    const std::string_view bytes(sample.constData(), size_t(sample.size()));
    if (bytes.size() >= 4) {
        for (const Signature &signature : signatures) {
            if (bytes.starts_with(signature.bytes)) {
                return {FileCategory::Binary, QString::fromLatin1(signature.reason)};
            }
        }
    }
    // A character cut by the end of a full sample says nothing about the file; one cut by the
    // end of the file itself does.
    const Utf8Ending ending = sample.size() < FileClassifier::sampleSize ? Utf8Ending::complete : Utf8Ending::mayBeCut;
    if (scanUtf8(sample, ending) == Utf8Kind::invalid) {
        return {FileCategory::Binary, QStringLiteral("Not valid UTF-8")};
    }
    for (const ContentMarker &marker : contentMarkers) {
        if (containsMarker(bytes, marker)) {
            return {FileCategory::Secret, QStringLiteral("Content contains: ")
                                              + QString::fromLatin1(marker.bytes.data(), qsizetype(marker.bytes.size()))};
        }
    }
    return textResult(ext);
}

QString lastComponent(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

QString toString(FileCategory category)
{
    switch (category) {
    case FileCategory::Text:
        return QStringLiteral("text");
    case FileCategory::Image:
        return QStringLiteral("image");
    case FileCategory::Binary:
        return QStringLiteral("binary");
    case FileCategory::Secret:
        return QStringLiteral("secret");
    }
    return {};
}

std::optional<FileCategory> fileCategoryFromString(const QString &text)
{
    for (FileCategory category : {FileCategory::Text, FileCategory::Image, FileCategory::Binary, FileCategory::Secret}) {
        if (text == toString(category)) {
            return category;
        }
    }
    return std::nullopt;
}

namespace FileClassifier {

const QSet<QString> &imageExts()
{
    static const QSet<QString> table =
        setOf({"png", "jpg", "jpeg", "gif", "svg", "webp", "ico", "bmp", "tiff", "tif", "heic"});
    return table;
}

const QSet<QString> &secretFilenames()
{
    static const QSet<QString> table =
        setOf({".env", ".env.local", ".env.production", ".env.development", ".netrc", ".htpasswd", ".pgpass",
               "id_rsa", "id_ed25519", "id_ecdsa", "id_dsa", ".vesk-credentials"});
    return table;
}

const QSet<QString> &secretExts()
{
    static const QSet<QString> table = setOf({"pem", "key", "p12", "pfx", "keystore", "jks"});
    return table;
}

const QStringList &secretNameWords()
{
    static const QStringList table{QStringLiteral("credential"), QStringLiteral("secret"),
                                   QStringLiteral("password")};
    return table;
}

const QStringList &secretContentMarkers()
{
    static const QStringList table = [] {
        QStringList list;
        for (const ContentMarker &marker : contentMarkers) {
            list.append(QString::fromLatin1(marker.bytes.data(), qsizetype(marker.bytes.size())));
        }
        return list;
    }();
    return table;
}

const QSet<QString> &defaultExcludeDirNames()
{
    static const QSet<QString> table =
        setOf({".git", "node_modules", ".build", "build", "DerivedData", "Pods", "__pycache__", ".tox", ".venv",
               "venv", ".idea", ".vs", "dist", ".next", ".nuxt", "target", "out", "bin"});
    return table;
}

const QSet<QString> &bundleExts()
{
    static const QSet<QString> table =
        setOf({"app", "framework", "bundle", "xcodeproj", "xcworkspace", "dSYM", "xcarchive"});
    return table;
}

QString extensionOf(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) {
        return {};
    }
    return fileName.mid(dot + 1);
}

bool isSkippedDirName(const QString &name)
{
    // Bundle extensions match without regard to case.
    static const QSet<QString> lowerBundleExts = [] {
        QSet<QString> lowered;
        for (const QString &ext : bundleExts()) {
            lowered.insert(ext.toLower());
        }
        return lowered;
    }();
    return defaultExcludeDirNames().contains(name) || lowerBundleExts.contains(extensionOf(name).toLower());
}

Classification classify(const QString &fullPath)
{
    const QString name = lastComponent(fullPath);
    const QString ext = extensionOf(name).toLower();
    if (secretFilenames().contains(name)) {
        return {FileCategory::Secret, QStringLiteral("Known credentials file")};
    }
    if (secretExts().contains(ext)) {
        return {FileCategory::Secret, QStringLiteral("Key/certificate extension: .") + ext};
    }
    const QString lowerName = name.toLower();
    for (const QString &word : secretNameWords()) {
        if (lowerName.contains(word)) {
            return {FileCategory::Secret, QStringLiteral("Filename contains '") + word + QLatin1Char('\'')};
        }
    }
    if (imageExts().contains(ext)) {
        return {FileCategory::Image, QStringLiteral("Image file (.") + ext + QLatin1Char(')')};
    }
    const std::optional<QByteArray> sample = readSample(fullPath);
    if (!sample) {
        return {FileCategory::Binary, QStringLiteral("Cannot read file")};
    }
    return classifyContent(*sample, ext);
}

QStringList defaultIncludedDirs(const QString &repoPath)
{
    QStringList names = QDir(repoPath).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    sortByCodePoint(names);
    QStringList kept;
    for (const QString &name : std::as_const(names)) {
        if (!QFileInfo(repoPath + QLatin1Char('/') + name).isDir()) {
            continue;
        }
        if (name == QLatin1String(".vesk-export-filter") || name == QLatin1String(".DS_Store")) {
            continue;
        }
        if (isSkippedDirName(name)) {
            continue;
        }
        kept.append(name);
    }
    return kept;
}

} // namespace FileClassifier

} // namespace vesk
