// The per-camera settings store. Every per-camera setting is read and written through the one
// process-wide object g_UserDefault, in the section "UserDefault<index>" of the user's profile.
// It also holds the per-camera instance lock "VistrelCV<index>".
#pragma once

#include "settings/InstanceLock.h"

#include <QString>

class CUserDefault {
public:
    CUserDefault() = default;
    virtual ~CUserDefault() = default;
    CUserDefault(const CUserDefault&) = delete;
    CUserDefault& operator=(const CUserDefault&) = delete;

    virtual bool TryLock(const QString& name);
    virtual bool LockInstance();
    // Gives the lock up: start-up that does not go on to run lets the next instance have it.
    void UnlockInstance() { m_lock.Release(); }
    virtual void SetSection(const QString& section) { m_strSection = section; }
    virtual void SetIndex(int index) { m_nIndex = index; }
    virtual QString GetString(const QString& key, const QString& defaultText) const;
    virtual int GetInt(const QString& key, int defaultValue) const;
    virtual bool WriteString(const QString& key, const QString& text);
    virtual bool WriteInt(const QString& key, int value);

    // The composed section name, "UserDefault2" for camera index 2.
    QString SectionName() const;
    // The lock name of this camera, "VistrelCV2" for camera index 2.
    QString LockName() const;
    int Index() const { return m_nIndex; }

private:
    QString m_strSection;
    int m_nIndex = 0;
    CInstanceLock m_lock;
};

extern CUserDefault g_UserDefault;
