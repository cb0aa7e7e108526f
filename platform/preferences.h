#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The user preference store: QSettings in its native format (UserDefaults on
// macOS, an INI file under XDG_CONFIG_HOME elsewhere). The organisation and
// application names must be set on the application object before first use.
class Preferences
{
public:
    static bool contains(const QString &key);
    static std::optional<QString> string(const QString &key);
    // Absent or unreadable values read as 0 / false, as the store's callers expect.
    static qint64 integer(const QString &key);
    // Absent when missing or not a number (NaN included): a stored 0 is a value of its own.
    static std::optional<double> number(const QString &key);
    static bool boolean(const QString &key, bool defaultValue = false);
    // Raw data; on Linux kept in a file beside the settings file ("Tovra AI.<key>.data").
    static std::optional<QByteArray> data(const QString &key);

    static void setString(const QString &key, const QString &value);
    static void setDouble(const QString &key, double value);
    static void setInteger(const QString &key, qint64 value);
    static void setBoolean(const QString &key, bool value);
    static void setData(const QString &key, const QByteArray &value);
    static void remove(const QString &key);

    // Where the store keeps its values, for the user.
    static QString fileName();
    // The file a raw data value lives in; empty where the store keeps such values itself.
    static QString dataFile(const QString &key);
    // Drops a value held inside the store, leaving the key's data file: earlier versions
    // kept raw data in the settings file, and a written data file supersedes that copy.
    static void removeFromStore(const QString &key);

    // Flushes to disk, so that what was written survives a killed process.
    static void sync();
};
