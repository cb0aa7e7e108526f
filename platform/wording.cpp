#include "platform/wording.h"

#include <QRegularExpression>

QString platformWording(const QString &macText)
{
#ifdef Q_OS_MACOS
    return macText;
#else
    static const QRegularExpression macOS(QStringLiteral("\\bmacOS\\b"));
    static const QRegularExpression mac(QStringLiteral("\\bMac\\b"));
    QString text = macText;
    text.replace(macOS, QStringLiteral("desktop"));
    text.replace(mac, QStringLiteral("computer"));
    return text;
#endif
}
