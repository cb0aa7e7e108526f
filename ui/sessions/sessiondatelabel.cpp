#include "ui/sessions/sessiondatelabel.h"

#include <QRegularExpression>

QString sessionDateLabel(const QDateTime &date, const QDateTime &now, const QLocale &locale)
{
    const QDateTime local = date.toLocalTime();
    const QDate day = local.date();
    const QDate today = now.toLocalTime().date();
    if (day == today) {
        // Hours and minutes only: some locales' short format carries seconds.
        QString format = locale.timeFormat(QLocale::ShortFormat);
        static const QRegularExpression seconds(QStringLiteral("[:.]ss?"));
        format.remove(seconds);
        return locale.toString(local.time(), format);
    }
    const qint64 daysAgo = day.daysTo(today);
    if (daysAgo == 1)
        return QStringLiteral("Yesterday");
    // Calendar days, so that last week's same weekday never reads like today's; a
    // date in the future (a clock set back) gets the month form.
    if (daysAgo > 1 && daysAgo <= 6)
        return locale.dayName(day.dayOfWeek(), QLocale::LongFormat);
    return QStringLiteral("%1 %2")
        .arg(locale.monthName(day.month(), QLocale::ShortFormat))
        .arg(day.day());
}
