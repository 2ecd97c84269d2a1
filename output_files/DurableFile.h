// Writing a whole output file so that it is reported written only once its bytes are on disk.
#pragma once

#include <QString>

// Writes `size` bytes at `data` to `path`, replacing what is there, so that the file at `path`
// is either complete and synced or left as it was. The bytes go to a temporary file with a short
// name in the same folder first, so any name the file system accepts for `path` works, then the
// temporary file replaces `path`. False when anything failed (a full disk included); no
// temporary file is left then.
bool WriteFileDurably(const QString& path, const char* data, qint64 size);
