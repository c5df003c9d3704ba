// ElapsedTime.h: a time span written with a date-time pattern, as the progress panel and
// the repair log show it.
#ifndef KRV_FRONTEND_FRAMEWORK_ELAPSEDTIME_H
#define KRV_FRONTEND_FRAMEWORK_ELAPSEDTIME_H

#include <QString>
#include <QtGlobal>

// Pattern letters (either case): h hours, n minutes, s seconds, z milliseconds, each
// without leading zeros; doubled (hh, nn, ss) or tripled (zzz) they are padded to two or
// three digits. Text in double or single quotes is copied without its quotes; every other
// character is copied. The span is taken as a time of day, so it wraps after 24 hours,
// as a difference of two date-times does. A negative span counts as 0.
QString FormatElapsed(const QString& pattern, qint64 milliseconds);

#endif
