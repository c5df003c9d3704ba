// LogFile.cpp: writing the saved log.
#include "frontend/framework/LogFile.h"

#include "frontend/framework/TrelvUtils.h"

#include <QSaveFile>

QByteArray LogFileText(const QStringList& lines)
{
    QByteArray text;
    for (const QString& line : lines) {
        std::string bytes = ToAnsi(line);
        text.append(bytes.data(), qsizetype(bytes.size()));
        text.append("\r\n");
    }
    return text;
}

bool WriteLogFile(const QString& path, const QStringList& lines)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QByteArray text = LogFileText(lines);
    if (file.write(text) != text.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
