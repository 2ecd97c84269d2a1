// The output path manager of one media kind: folder, base name (a date/time template), serial
// number and file-type index, read from and written to the per-camera settings. It builds the
// path of the next file as "<folder>/<expanded base name><5-digit serial>.<extension>".
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class CFiletypeMgr;

inline constexpr int kMaxSerialNumber = 65535;

class CImgFileMgr {
public:
    CImgFileMgr(const CFiletypeMgr* filetypeMgr, QString serialNumberKey);
    virtual ~CImgFileMgr() = default;
    CImgFileMgr(const CImgFileMgr&) = delete;
    CImgFileMgr& operator=(const CImgFileMgr&) = delete;

    virtual QString GetFilename() const { return m_strFilename; }
    virtual void SetFilename(QString name) { m_strFilename = std::move(name); }
    virtual QString GetExpandedFilename() const;
    virtual void ResetSerialNumber();
    virtual void SetSerialNumber(int number);
    virtual QString GetFoldername() const { return m_strFoldername; }
    virtual void SetFoldername(QString folder) { m_strFoldername = std::move(folder); }
    virtual QString MakeFilePath(bool advance);
    // The path MakeFilePath gives when the serial number is `serialNumber` and the base name
    // expands to `expandedName`; nothing is stored.
    QString MakeFilePathFor(int serialNumber, const QString& expandedName) const;
    // The extension of the file type in use, without the period; empty without a table.
    QString GetExtension() const;
    // The extensions of every file type of the kind: files of one kind share their numbers.
    QStringList GetExtensions() const;
    int GetFiletypeIndex() const { return m_nFiletypeIndex; }
    virtual void SetFiletypeIndex(int index) { m_nFiletypeIndex = index; }
    virtual void LoadFilename(const QString& key, const QString& defaultName);
    virtual void SaveFilename();
    virtual void LoadFoldername(const QString& key, const QString& defaultFolder);
    virtual void SaveFoldername();
    // The file type is stored as its extension: one the table does not hold reads as
    // `defaultIndex`.
    virtual void LoadFiletypeIndex(const QString& key, int defaultIndex);
    virtual void SaveFiletypeIndex();
    virtual QString GetSerialNumberText() const;

    int SerialNumber() const { return m_nSerialNumber; }

private:
    const CFiletypeMgr* m_pFiletypeMgr;
    QString m_strFilename;
    int m_nSerialNumber = 1;
    QString m_strFoldername;
    int m_nFiletypeIndex = 0;
    QString m_strSerialNumberKey;
    QString m_strFilenameKey;
    QString m_strFoldernameKey;
    QString m_strFiletypeIndexKey;
};

// The path manager of `kind` (CAMMODE_PICT or CAMMODE_MOV) with the current camera's file
// settings loaded; `defaultFolder` stands for a folder never chosen.
std::unique_ptr<CImgFileMgr> LoadImgFileMgr(int kind, const QString& defaultFolder);

// The serial number that follows `number`: 65535 is the last, then 1 again.
int NextSerialNumber(int number);
