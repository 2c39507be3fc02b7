#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vesk {

// What the workspace remembers of one repository tab between launches: the open file and where
// the first caret stood.
struct PerRepoState
{
    std::optional<QString> openFilePath;
    std::optional<qint64> cursorLine;    // 0-based
    std::optional<qint64> cursorColumn;  // 0-based, in characters
    std::optional<double> scrollOffsetY;

    bool operator==(const PerRepoState &) const = default;

    // A JSON object with the keys "openFilePath", "cursorLine", "cursorColumn" and
    // "scrollOffsetY"; absent fields are left out. Nothing when a field cannot be written
    // (a scroll offset that is not a finite number).
    std::optional<QByteArray> toJson() const;
    // Every key is optional and other keys are ignored; a value of the wrong type (a fractional
    // line, a number as the path, ...) makes the whole entry unreadable.
    static std::optional<PerRepoState> fromJson(const QByteArray &json);

    // The stored form: Base64 (standard alphabet, padded, one line) of the JSON.
    std::optional<QString> toStoredText() const;
    static std::optional<PerRepoState> fromStoredText(const QString &text);
};

} // namespace vesk
