// The per-user profile of the application: sections of integer and text values, kept by
// QSettings in its native store (an INI file under the user's configuration folder on Linux).
// Every write is flushed to disk at once and merged with what other running instances wrote.
#pragma once

#include <QMap>
#include <QString>

// The application name used in the profile path and in lock names: string 57344.
QString AppName();

int GetProfileInt(const QString& section, const QString& key, int defaultValue);
QString GetProfileString(const QString& section, const QString& key, const QString& defaultValue);
bool WriteProfileInt(const QString& section, const QString& key, int value);
bool WriteProfileString(const QString& section, const QString& key, const QString& value);

// Text `key` of every camera section ("UserDefault<n>"), by camera index n; sections without
// it are left out.
QMap<int, QString> GetEveryCameraString(const QString& key);
// Where the profile lives (for messages and docs; tests use it to inspect the file).
QString ProfileFilePath();
