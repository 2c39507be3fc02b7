#pragma once

#include <QString>

#include <optional>

namespace vesk {

// What a file operation of the sidebar did.
struct FileOperationResult
{
    bool ok = false;
    QString path;     // the item made, or the item's new path
    QString message;  // why nothing was done, for the user; empty on success
};

// Creating, renaming and trashing items of a repository on behalf of the user. Each operation
// checks that it stays inside the repository (names are single path components, and the folder
// it works in must not lead outside through a link) and never replaces an existing item; when it
// refuses or fails the disk is left as it was and the message says why. Any thread.
namespace FileOperations {

// The name the user typed, without white space and line breaks at either end.
QString trimmedName(const QString &text);

// Why `name` (trimmed) cannot name a new item, or nothing when it can. An empty name is refused
// without a message.
std::optional<QString> nameProblem(const QString &name);

// Makes an empty file, or a folder, named `name` (trimmed) in `parentDir`.
FileOperationResult createFile(const QString &repoRoot, const QString &parentDir, const QString &name);
FileOperationResult createFolder(const QString &repoRoot, const QString &parentDir, const QString &name);

// Gives the item at `path` the name `newName` (trimmed) in the same folder. Fails without a
// message when the name is empty or unchanged.
FileOperationResult renameItem(const QString &repoRoot, const QString &path, const QString &newName);

// Moves the item at `path` to the desktop's trash. Nothing is deleted when there is no trash.
FileOperationResult moveToTrash(const QString &repoRoot, const QString &path);

} // namespace FileOperations
} // namespace vesk
