#include "output_files/ImgFileMgr.h"

#include "output_files/FiletypeMgr.h"
#include "output_files/MediaKind.h"
#include "output_files/PathChecks.h"
#include "output_files/TimeTemplate.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"

int NextSerialNumber(int number) {
    return number >= kMaxSerialNumber ? 1 : number + 1;
}

std::unique_ptr<CImgFileMgr> LoadImgFileMgr(int kind, const QString& defaultFolder) {
    const bool movie = IsMovieKind(kind);
    auto mgr = std::make_unique<CImgFileMgr>(movie ? &g_MovFiletypeMgr : &g_PictFiletypeMgr,
                                             (movie ? kMovNum : kPictNum).key);
    mgr->LoadFiletypeIndex((movie ? kMovFiletype : kPictFiletype).key, 0);
    const SettingKey& name = movie ? kMovFilename : kPictFilename;
    mgr->LoadFilename(name.key, name.textDefault);
    // A stored name the save-settings dialog would refuse (edited by hand, or one whose dates no
    // longer fit the file system's limit) would give broken or nameless files.
    const QString stored = mgr->GetFilename();
    if (!IsValidFilename(stored) ||
        !FitsFileNameLimit(ExpandTimeTemplateNow(stored), mgr->GetExtension())) {
        qWarning("The stored base name \"%s\" cannot name files; using \"%s\"",
                 qUtf8Printable(stored.left(120)), name.textDefault);
        mgr->SetFilename(QLatin1String(name.textDefault));
    }
    mgr->LoadFoldername((movie ? kMovFoldername : kPictFoldername).key, defaultFolder);
    return mgr;
}

CImgFileMgr::CImgFileMgr(const CFiletypeMgr* filetypeMgr, QString serialNumberKey)
    : m_pFiletypeMgr(filetypeMgr), m_strSerialNumberKey(std::move(serialNumberKey)) {
    m_nSerialNumber = g_UserDefault.GetInt(m_strSerialNumberKey, 1);
    if (m_nSerialNumber < 1 || m_nSerialNumber > kMaxSerialNumber)
        m_nSerialNumber = 1; // as the wrap after the last number does
}

QString CImgFileMgr::GetExpandedFilename() const {
    return ExpandTimeTemplateNow(m_strFilename);
}

void CImgFileMgr::ResetSerialNumber() {
    SetSerialNumber(1);
}

void CImgFileMgr::SetSerialNumber(int number) {
    m_nSerialNumber = number;
    g_UserDefault.WriteInt(m_strSerialNumberKey, m_nSerialNumber);
}

QString CImgFileMgr::GetExtension() const {
    QString extension;
    if (m_pFiletypeMgr)
        m_pFiletypeMgr->GetFiletype(m_nFiletypeIndex, nullptr, &extension);
    return extension;
}

QStringList CImgFileMgr::GetExtensions() const {
    return m_pFiletypeMgr ? m_pFiletypeMgr->Extensions() : QStringList();
}

QString CImgFileMgr::MakeFilePathFor(int serialNumber, const QString& expandedName) const {
    if (!m_pFiletypeMgr)
        return {};
    const QString extension = GetExtension();
    return GetFoldername() + QLatin1Char('/') + expandedName +
           QStringLiteral("%1").arg(serialNumber, 5, 10, QLatin1Char('0')) + QLatin1Char('.') +
           extension;
}

QString CImgFileMgr::MakeFilePath(bool advance) {
    if (!m_pFiletypeMgr)
        return {};
    const QString path = MakeFilePathFor(m_nSerialNumber, GetExpandedFilename());
    if (advance)
        m_nSerialNumber = NextSerialNumber(m_nSerialNumber);
    g_UserDefault.WriteInt(m_strSerialNumberKey, m_nSerialNumber);
    return path;
}

void CImgFileMgr::LoadFilename(const QString& key, const QString& defaultName) {
    m_strFilenameKey = key;
    m_strFilename = g_UserDefault.GetString(key, defaultName);
}

void CImgFileMgr::SaveFilename() {
    g_UserDefault.WriteString(m_strFilenameKey, m_strFilename);
}

void CImgFileMgr::LoadFoldername(const QString& key, const QString& defaultFolder) {
    m_strFoldernameKey = key;
    m_strFoldername = g_UserDefault.GetString(key, defaultFolder);
}

void CImgFileMgr::SaveFoldername() {
    g_UserDefault.WriteString(m_strFoldernameKey, m_strFoldername);
}

void CImgFileMgr::LoadFiletypeIndex(const QString& key, int defaultIndex) {
    m_strFiletypeIndexKey = key;
    const QString stored = g_UserDefault.GetString(key, QString());
    const qsizetype index = GetExtensions().indexOf(stored);
    m_nFiletypeIndex = index >= 0 ? int(index) : defaultIndex;
}

void CImgFileMgr::SaveFiletypeIndex() {
    g_UserDefault.WriteString(m_strFiletypeIndexKey, GetExtension());
}

QString CImgFileMgr::GetSerialNumberText() const {
    return QStringLiteral("%1").arg(m_nSerialNumber, 5, 10, QLatin1Char('0'));
}
