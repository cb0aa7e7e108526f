#include "preferences.h"

#include <QSettings>

namespace {
QSettings &store()
{
    // One instance: QSettings re-reads nothing per call, and writes are batched until sync().
    static QSettings settings;
    return settings;
}
} // namespace

bool Preferences::contains(const QString &key)
{
    return store().contains(key);
}

std::optional<QString> Preferences::string(const QString &key)
{
    const QVariant value = store().value(key);
    if (!value.isValid())
        return std::nullopt;
    return value.toString();
}

double Preferences::doubleValue(const QString &key)
{
    bool ok = false;
    const double value = store().value(key).toDouble(&ok);
    return ok ? value : 0.0;
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
    const QVariant value = store().value(key);
    if (!value.isValid())
        return std::nullopt;
    return value.toByteArray();
}

void Preferences::setString(const QString &key, const QString &value)
{
    store().setValue(key, value);
}

void Preferences::setDouble(const QString &key, double value)
{
    store().setValue(key, value);
}

void Preferences::setInteger(const QString &key, qint64 value)
{
    store().setValue(key, value);
}

void Preferences::setBoolean(const QString &key, bool value)
{
    store().setValue(key, value);
}

void Preferences::setData(const QString &key, const QByteArray &value)
{
    store().setValue(key, value);
}

void Preferences::remove(const QString &key)
{
    store().remove(key);
}

void Preferences::sync()
{
    store().sync();
}
