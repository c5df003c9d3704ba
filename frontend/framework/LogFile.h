// LogFile.h: a saved repair log: 8-bit text in the configured code page, every line
// ended by CR LF, so that it reads the same wherever the log is sent.
#ifndef KRV_FRONTEND_FRAMEWORK_LOGFILE_H
#define KRV_FRONTEND_FRAMEWORK_LOGFILE_H

#include <QByteArray>
#include <QString>
#include <QStringList>

QByteArray LogFileText(const QStringList& lines);

// Replaces the file; false when it cannot be created or written.
bool WriteLogFile(const QString& path, const QStringList& lines);

#endif
