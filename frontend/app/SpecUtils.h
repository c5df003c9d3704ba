// SpecUtils.h: where the source-file dialog starts on first use.
#ifndef KRV_FRONTEND_APP_SPECUTILS_H
#define KRV_FRONTEND_APP_SPECUTILS_H

#include <QString>

// The user's home folder with a trailing '/'. Outlook keeps its stores in a folder of the
// user's Windows profile; on Linux, stores are files copied from such a machine, and they
// land in the home folder or below it, so that is where browsing starts. Empty when the
// home folder does not exist.
QString GetOutlookDataDirectory();

#endif
