#include "workspace/per_repo_state.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>

namespace vesk {

namespace {

const QString openFilePathKey = QStringLiteral("openFilePath");
const QString cursorLineKey = QStringLiteral("cursorLine");
const QString cursorColumnKey = QStringLiteral("cursorColumn");
const QString scrollOffsetYKey = QStringLiteral("scrollOffsetY");

// Integers beyond 2^53 do not survive a JSON number; anything past that is not a line.
constexpr double largestExactInteger = 9007199254740992.0;

// Reads one optional field: true when the value is absent (a null counts as absent) or of the
// right type, which `read` then stores.
template <typename Read>
bool readField(const QJsonObject &object, const QString &key, Read read)
{
    const QJsonValue value = object.value(key);
    return value.isUndefined() || value.isNull() || read(value);
}

bool readInteger(const QJsonValue &value, std::optional<qint64> &field)
{
    if (!value.isDouble()) {
        return false;
    }
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::trunc(number) || std::fabs(number) > largestExactInteger) {
        return false;
    }
    field = qint64(number);
    return true;
}

} // namespace

std::optional<QByteArray> PerRepoState::toJson() const
{
    QJsonObject object;
    if (openFilePath) {
        object.insert(openFilePathKey, *openFilePath);
    }
    if (cursorLine) {
        object.insert(cursorLineKey, *cursorLine);
    }
    if (cursorColumn) {
        object.insert(cursorColumnKey, *cursorColumn);
    }
    if (scrollOffsetY) {
        if (!std::isfinite(*scrollOffsetY)) {
            return std::nullopt;
        }
        object.insert(scrollOffsetYKey, *scrollOffsetY);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<PerRepoState> PerRepoState::fromJson(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    PerRepoState state;
    const bool readable =
        readField(object, openFilePathKey,
                  [&](const QJsonValue &value) {
                      state.openFilePath = value.toString();
                      return value.isString();
                  })
        && readField(object, cursorLineKey,
                     [&](const QJsonValue &value) { return readInteger(value, state.cursorLine); })
        && readField(object, cursorColumnKey,
                     [&](const QJsonValue &value) { return readInteger(value, state.cursorColumn); })
        && readField(object, scrollOffsetYKey, [&](const QJsonValue &value) {
               state.scrollOffsetY = value.toDouble();
               return value.isDouble();
           });
    return readable ? std::optional<PerRepoState>(state) : std::nullopt;
}

std::optional<QString> PerRepoState::toStoredText() const
{
    const std::optional<QByteArray> json = toJson();
    return json ? std::optional<QString>(QString::fromLatin1(json->toBase64())) : std::nullopt;
}

std::optional<PerRepoState> PerRepoState::fromStoredText(const QString &text)
{
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || QString::fromLatin1(decoded.decoded.toBase64()) != text) {
        return std::nullopt;
    }
    return fromJson(decoded.decoded);
}

} // namespace vesk
