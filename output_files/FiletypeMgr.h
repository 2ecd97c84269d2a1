// A table of the output file types offered for one media kind: description, extension and, for
// movies, the four-character codec code. Entries are only appended; the first is the default.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

// Packs a four-character code with the first character in the lowest byte.
constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

inline constexpr uint32_t kCodecMpeg1 = MakeFourCC('P', 'I', 'M', '1'); // 0x314D4950
// H.264 in an MP4 file.
inline constexpr uint32_t kCodecH264 = MakeFourCC('a', 'v', 'c', '1');

class CFiletypeMgr {
public:
    CFiletypeMgr() = default;
    virtual ~CFiletypeMgr() = default;

    virtual void RemoveAll();
    virtual void AddFiletypeWithCodec(QString description, QString extension, uint32_t codec);
    virtual void AddFiletype(QString description, QString extension);
    // Outputs are optional: pass nullptr for a value you do not want, except the codec.
    virtual bool GetFiletypeWithCodec(int index, QString* description, QString* extension,
                                      uint32_t& codec) const;
    virtual bool GetFiletype(int index, QString* description, QString* extension) const;
    // The number of entries, or -1 when descriptions and extensions differ in number.
    virtual int GetCount() const;
    // The index of the entry with `extension`; 0 (the default) for one the table does not hold.
    int IndexOfExtension(const QString& extension) const;
    // Every extension of the table, in order.
    const QStringList& Extensions() const { return m_arrExtension; }

protected:
    QStringList m_arrDescription;
    QStringList m_arrExtension;
    QVector<uint32_t> m_arrCodec;
};

extern CFiletypeMgr g_PictFiletypeMgr;
extern CFiletypeMgr g_MovFiletypeMgr;

// Fills both tables: JPEG and PNG stills, MPEG-1 and MP4 movies, the first of each the default.
// Safe to call more than once.
void FillFiletypeTables();
