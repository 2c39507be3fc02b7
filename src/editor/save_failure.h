#pragma once

#include "platform/atomic_write.h"

#include <QString>

namespace vesk {

// The sentence the user reads when a file could not be saved, for example "Vesk could not save
// main.c: the folder is read-only." A write that failed half way in place also says where the
// file's previous content was kept.
QString saveFailureSentence(const QString &fileName, const WriteResult &result);

// The cause alone, as it stands after the colon ("the folder is read-only").
QString saveFailureCause(const WriteResult &result);

// For a save still under way when the program had to go on without it.
QString saveUnfinishedSentence(const QString &fileName);

} // namespace vesk
