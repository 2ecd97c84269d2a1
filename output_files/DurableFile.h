// Writing a whole output file so that it is reported written only once its bytes are on disk,
// and is never seen under its name before that.
#pragma once

#include <QString>

#include <memory>

class QTemporaryFile;

// The bytes of a file waiting for their name: written and synced to a temporary file with a
// short name in the folder they go to, so any name the file system accepts works later. The
// temporary file goes with this object unless it was given its name.
class CStagedFile {
public:
    // False from IsReady when anything failed (a full disk included); no file is left then.
    CStagedFile(const QString& folder, const char* data, qint64 size);
    ~CStagedFile();
    CStagedFile(const CStagedFile&) = delete;
    CStagedFile& operator=(const CStagedFile&) = delete;

    bool IsReady() const { return m_ready; }
    // Gives the bytes the name `path`, in the folder given at construction, unless something
    // (a dangling link included) is there: a claimed name never holds less than the whole file.
    // The folder is synced, so the name survives a power cut. False when the name is taken or
    // refused, errno telling which (EEXIST when taken).
    bool PublishAs(const QString& path);

private:
    std::unique_ptr<QTemporaryFile> m_file;
    bool m_ready = false;
};
