#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The sidebar's date of a session: the time for today, "Yesterday", the weekday
// within the last week, else the abbreviated month and the day. Local time.
QString sessionDateLabel(const QDateTime &date,
                         const QDateTime &now,
                         const QLocale &locale = QLocale());
