// ElapsedTime.cpp: the pattern formatter behind FormatElapsed.
#include "frontend/framework/ElapsedTime.h"

namespace {

constexpr qint64 kMillisecondsPerDay = 24LL * 60 * 60 * 1000;

QString Padded(qint64 value, qsizetype width) { return QString::number(value).rightJustified(width, u'0'); }

} // namespace

QString FormatElapsed(const QString& pattern, qint64 milliseconds)
{
    qint64 ms = milliseconds < 0 ? 0 : milliseconds % kMillisecondsPerDay;
    const qint64 hours = ms / 3600000;
    const qint64 minutes = ms / 60000 % 60;
    const qint64 seconds = ms / 1000 % 60;
    const qint64 millis = ms % 1000;

    QString out;
    for (qsizetype i = 0; i < pattern.size();) {
        QChar c = pattern[i];
        if (c == u'"' || c == u'\'') {
            qsizetype end = pattern.indexOf(c, i + 1);
            if (end < 0) end = pattern.size();
            out += pattern.mid(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        QChar lower = c.toLower();
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern[i + run].toLower() == lower) ++run;
        if (lower == u'h' || lower == u'n' || lower == u's') {
            qint64 value = lower == u'h' ? hours : lower == u'n' ? minutes : seconds;
            out += run >= 2 ? Padded(value, 2) : QString::number(value);
            i += run >= 2 ? 2 : 1;
        } else if (lower == u'z') {
            out += run >= 3 ? Padded(millis, 3) : QString::number(millis);
            i += run >= 3 ? 3 : 1;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}
