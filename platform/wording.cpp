#include "platform/wording.h"

#include <QRegularExpression>
#include <QSysInfo>

QString platformWording(const QString &macText, bool isMac)
{
    if (isMac)
        return macText;
    static const QRegularExpression macOS(QStringLiteral("\\bmacOS\\b"));
    static const QRegularExpression mac(QStringLiteral("\\bMac\\b"));
    QString text = macText;
    text.replace(macOS, QStringLiteral("desktop"));
    text.replace(mac, QStringLiteral("computer"));
    return text;
}

QString platformWording(const QString &macText)
{
#ifdef Q_OS_MACOS
    return platformWording(macText, true);
#else
    return platformWording(macText, false);
#endif
}

QString platformName()
{
#if defined(Q_OS_MACOS)
    return QStringLiteral("macOS");
#elif defined(Q_OS_LINUX)
    return QStringLiteral("Linux");
#else
    return QSysInfo::kernelType();
#endif
}
