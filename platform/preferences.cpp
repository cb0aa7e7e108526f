#include "platform/preferences.h"

#include "platform/savefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cmath>

namespace {
QSettings &store()
{
    // One instance: QSettings re-reads nothing per call, and writes are batched until sync().
    static QSettings settings;
    return settings;
}
// An unchanged value is not set again: each change makes the next sync() rewrite the file.
void set(const QString &key, const QVariant &value)
{
    if (store().value(key) != value)
        store().setValue(key, value);
}
// An INI file is rewritten and re-parsed whole, and escapes every byte of a
// value: no place for a chat archive of tens of megabytes. Where the store is an
// INI file, raw data values live in files of their own beside it, written
// atomically and flushed at once. (The macOS store keeps them natively.)
QString dataFilePath(const QString &key)
{
#if defined(Q_OS_DARWIN)
    return {};
#endif
    const QFileInfo settingsFile(store().fileName());
    return settingsFile.dir().filePath(settingsFile.completeBaseName() + QLatin1Char('.') + key
                                       + QStringLiteral(".data"));
}
} // namespace

bool Preferences::contains(const QString &key)
{
    const QString file = dataFilePath(key);
    return store().contains(key) || (!file.isEmpty() && QFile::exists(file));
}

std::optional<QString> Preferences::string(const QString &key)
{
    const QVariant value = store().value(key);
    if (!value.isValid())
        return std::nullopt;
    return value.toString();
}

std::optional<double> Preferences::number(const QString &key)
{
    bool ok = false;
    const double value = store().value(key).toDouble(&ok);
    if (!ok || std::isnan(value))
        return std::nullopt;
    return value;
}

qint64 Preferences::integer(const QString &key)
{
    bool ok = false;
    const qint64 value = store().value(key).toLongLong(&ok);
    return ok ? value : 0;
}

bool Preferences::boolean(const QString &key, bool defaultValue)
{
    const QVariant value = store().value(key);
    return value.isValid() ? value.toBool() : defaultValue;
}

std::optional<QByteArray> Preferences::data(const QString &key)
{
    if (const QString path = dataFilePath(key); !path.isEmpty()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    const QVariant value = store().value(key);
    if (!value.isValid())
        return std::nullopt;
    return value.toByteArray();
}

void Preferences::setString(const QString &key, const QString &value)
{
    set(key, value);
}

void Preferences::setDouble(const QString &key, double value)
{
    set(key, value);
}

void Preferences::setInteger(const QString &key, qint64 value)
{
    set(key, value);
}

void Preferences::setBoolean(const QString &key, bool value)
{
    set(key, value);
}

void Preferences::setData(const QString &key, const QByteArray &value)
{
    const QString path = dataFilePath(key);
    if (path.isEmpty()) {
        store().setValue(key, value);
        return;
    }
    QDir().mkpath(QFileInfo(path).path());
    if (writeFileAtomically(path, value).isEmpty())
        store().remove(key);
}

void Preferences::remove(const QString &key)
{
    store().remove(key);
    if (const QString path = dataFilePath(key); !path.isEmpty())
        QFile::remove(path);
}

QString Preferences::fileName()
{
    return store().fileName();
}

QString Preferences::dataFile(const QString &key)
{
    return dataFilePath(key);
}

void Preferences::removeFromStore(const QString &key)
{
    if (store().contains(key)) {
        store().remove(key);
        store().sync();
    }
}

void Preferences::sync()
{
    store().sync();
}
