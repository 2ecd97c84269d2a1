#include "settings/UserDefault.h"

#include "settings/AppProfile.h"

CUserDefault g_UserDefault;

QString CUserDefault::SectionName() const {
    return m_strSection + QString::number(m_nIndex);
}

QString CUserDefault::LockName() const {
    return AppName() + QString::number(m_nIndex);
}

bool CUserDefault::TryLock(const QString& name) {
    return m_lock.TryAcquire(name);
}

bool CUserDefault::LockInstance() {
    return TryLock(LockName());
}

QString CUserDefault::GetString(const QString& key, const QString& defaultText) const {
    return GetProfileString(SectionName(), key, defaultText);
}

int CUserDefault::GetInt(const QString& key, int defaultValue) const {
    return GetProfileInt(SectionName(), key, defaultValue);
}

bool CUserDefault::WriteString(const QString& key, const QString& text) {
    return WriteProfileString(SectionName(), key, text);
}

bool CUserDefault::WriteInt(const QString& key, int value) {
    return WriteProfileInt(SectionName(), key, value);
}
