#include "editor/save_failure.h"

namespace vesk {

namespace {

QString systemReason(const WriteResult &result)
{
    if (result.errorNumber == 0) {
        return QStringLiteral("an unexpected error occurred");
    }
    // The system's own wording, as a clause: "Input/output error" reads "input/output error".
    QString reason = qt_error_string(result.errorNumber);
    if (reason.size() > 1 && reason[0].isUpper() && !reason[1].isUpper()) {
        reason[0] = reason[0].toLower();
    }
    return QStringLiteral("the system reported \u201C%1\u201D").arg(reason);
}

} // namespace

QString saveFailureCause(const WriteResult &result)
{
    switch (result.failure) {
    case WriteFailure::fileReadOnly:
        return QStringLiteral("the file is read-only");
    case WriteFailure::noPermission:
        return QStringLiteral("you do not have permission to change it");
    case WriteFailure::folderReadOnly:
        return QStringLiteral("the folder is read-only");
    case WriteFailure::folderNoPermission:
        return QStringLiteral("you do not have permission to write in its folder");
    case WriteFailure::diskReadOnly:
        return QStringLiteral("the disk is read-only");
    case WriteFailure::diskFull:
        return QStringLiteral("the disk is full");
    case WriteFailure::quotaExceeded:
        return QStringLiteral("your disk quota is used up");
    case WriteFailure::fileTooLarge:
        return QStringLiteral("the file would be larger than the system allows");
    case WriteFailure::isFolder:
        return QStringLiteral("a folder of the same name is in its place");
    case WriteFailure::notRegularFile:
        return QStringLiteral("it is not a regular file");
    case WriteFailure::folderMissing:
        return QStringLiteral("its folder no longer exists");
    case WriteFailure::notAFolder:
        return QStringLiteral("a part of its path is a file, not a folder");
    case WriteFailure::nameTooLong:
        return QStringLiteral("its name or path is too long");
    case WriteFailure::linkLoop:
        return QStringLiteral("its links lead around in a circle");
    case WriteFailure::replacedMeanwhile:
        return QStringLiteral("another file took its place while it was being saved");
    case WriteFailure::ioError:
        return QStringLiteral("the disk reported an error");
    case WriteFailure::none:
    case WriteFailure::other:
        break;
    }
    return systemReason(result);
}

QString saveFailureSentence(const QString &fileName, const WriteResult &result)
{
    QString sentence = QStringLiteral("Vesk could not save %1: %2.").arg(fileName, saveFailureCause(result));
    if (!result.previousContentCopy.isEmpty()) {
        sentence += QStringLiteral(" The file may be incomplete; its previous content is in %1.")
                        .arg(result.previousContentCopy);
    }
    return sentence;
}

QString saveUnfinishedSentence(const QString &fileName)
{
    return QStringLiteral("Vesk could not save %1: the disk did not finish writing it in time.").arg(fileName);
}

} // namespace vesk
