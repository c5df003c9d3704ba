// ConfirmOverwrite.cpp: the overwrite question of a batch run.
#include "frontend/framework/ConfirmOverwrite.h"

#include "frontend/framework/TrelvText.h"

#include <QFileInfo>

bool ConfirmOverwrite(const QString& path, const OverwriteQuestion& ask, OverwriteChoices& choices)
{
    choices.cancel = false;
    // A dangling symbolic link is a name that writing would follow: it counts as a file.
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return true;
    if (choices.noToAll) return false;
    if (choices.yesToAll || !ask) return true;
    switch (ask(LoadText(TrelvText::TextOverwriteQuestion).arg(info.fileName()))) {
    case OverwriteAnswer::Yes:
        return true;
    case OverwriteAnswer::No:
        return false;
    case OverwriteAnswer::Cancel:
        choices.cancel = true;
        return true;
    case OverwriteAnswer::NoToAll:
        choices.noToAll = true;
        return false;
    case OverwriteAnswer::YesToAll:
        choices.yesToAll = true;
        return true;
    case OverwriteAnswer::Closed:
        return true;
    }
    return true;
}
