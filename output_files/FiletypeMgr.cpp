#include "output_files/FiletypeMgr.h"

#include <algorithm>

CFiletypeMgr g_PictFiletypeMgr;
CFiletypeMgr g_MovFiletypeMgr;

void CFiletypeMgr::RemoveAll() {
    m_arrDescription.clear();
    m_arrExtension.clear();
    m_arrCodec.clear();
}

void CFiletypeMgr::AddFiletypeWithCodec(QString description, QString extension, uint32_t codec) {
    AddFiletype(std::move(description), std::move(extension));
    m_arrCodec.append(codec);
}

void CFiletypeMgr::AddFiletype(QString description, QString extension) {
    m_arrDescription.append(std::move(description));
    m_arrExtension.append(std::move(extension));
}

bool CFiletypeMgr::GetFiletypeWithCodec(int index, QString* description, QString* extension,
                                        uint32_t& codec) const {
    codec = (index >= 0 && index < m_arrCodec.size()) ? m_arrCodec[index] : 0;
    return GetFiletype(index, description, extension);
}

bool CFiletypeMgr::GetFiletype(int index, QString* description, QString* extension) const {
    const bool descriptionOk = !description || (index >= 0 && index < m_arrDescription.size());
    const bool extensionOk = !extension || (index >= 0 && index < m_arrExtension.size());
    if (!descriptionOk || !extensionOk) {
        if (description)
            description->clear();
        if (extension)
            extension->clear();
        return false;
    }
    if (description)
        *description = m_arrDescription[index];
    if (extension)
        *extension = m_arrExtension[index];
    return true;
}

int CFiletypeMgr::GetCount() const {
    return m_arrDescription.size() == m_arrExtension.size() ? int(m_arrDescription.size()) : -1;
}

int CFiletypeMgr::IndexOfExtension(const QString& extension) const {
    return std::max(0, int(m_arrExtension.indexOf(extension)));
}

void FillFiletypeTables() {
    if (g_PictFiletypeMgr.GetCount() == 0) {
        g_PictFiletypeMgr.AddFiletype(QStringLiteral("JPEG(*.jpg)"), QStringLiteral("jpg"));
        g_PictFiletypeMgr.AddFiletype(QStringLiteral("PNG(*.png)"), QStringLiteral("png"));
    }
    if (g_MovFiletypeMgr.GetCount() == 0) {
        g_MovFiletypeMgr.AddFiletypeWithCodec(QStringLiteral("MPEG-1(*.mpg)"),
                                              QStringLiteral("mpg"), kCodecMpeg1);
        g_MovFiletypeMgr.AddFiletypeWithCodec(QStringLiteral("MP4(*.mp4)"), QStringLiteral("mp4"),
                                              kCodecH264);
    }
}
