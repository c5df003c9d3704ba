// SpecUtils.cpp: the starting folder of the source-file dialog.
#include "frontend/app/SpecUtils.h"

#include "frontend/framework/TrelvUtils.h"

#include <QDir>
#include <QFileInfo>

QString GetOutlookDataDirectory()
{
    QString home = QDir::homePath();
    return QFileInfo(home).isDir() ? WithTrailingSeparator(home) : QString();
}
