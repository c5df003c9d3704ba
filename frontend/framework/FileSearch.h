// FileSearch.h: the recursive search for files by name, size, attributes and times that
// the search window runs.
//
// The search runs on the calling thread (the user-interface thread) and returns when it is
// done. To keep the window usable it processes pending events when it enters the first
// folder and then whenever 25 ms have passed, checked at every folder and every entry, so
// that handlers which run inside it (Stop, closing the window, timers) can call Cancel;
// the search stops at the next entry or folder.
//
// What the Windows notions become here:
// - masks match names without regard to case ("*.pst" finds Mailbox.PST); "*.*" matches
//   every name, also one without a dot;
// - read-only: the user may not write the entry; hidden: its name begins with '.'; system
//   and archive have no meaning on Linux, so a search that requires them finds nothing;
// - creation time: the file system's birth time where it keeps one, else the change time;
// - folders that cannot be read are left out silently; symbolic links to folders are not
//   followed, and no folder is searched twice (bind mounts can make loops too);
// - the search does not go down into kernel interfaces (proc, sysfs ...), network shares
//   or other pseudo file systems mounted below a folder, nor into a folder that is one of
//   the request's own folders (it is searched in its own turn);
// - a folder whose name matches a mask is found like a file, with size 0.
#ifndef KRV_FRONTEND_FRAMEWORK_FILESEARCH_H
#define KRV_FRONTEND_FRAMEWORK_FILESEARCH_H

#include "frontend/framework/MountTable.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdint>

enum FileAttribute : uint32_t {
    AttrReadOnly = 0x1,
    AttrHidden = 0x2,
    AttrSystem = 0x4,
    AttrArchive = 0x8,
};

struct SearchRequest {
    QString masks;   // patterns separated by ';'; blank entries are skipped
    QString folders; // folders separated by ';'; blanks around them are trimmed
    bool recurse = true;
    qint64 minSize = 0;      // bytes; 0: no minimum
    qint64 maxSize = 0;      // bytes; 0: no maximum
    uint32_t attributes = 0; // FileAttribute bits that an entry must all have; 0: any
    bool checkCreated = false, checkAccessed = false, checkModified = false;
    QDateTime createdSince, accessedSince, modifiedSince; // thresholds of the checks that are on
};

struct FoundEntry {
    QString folder; // with a trailing '/'
    QString name;
    qint64 size = 0;
    QDateTime created, accessed, modified; // local time
};

class FileSearch : public QObject {
    Q_OBJECT

public:
    explicit FileSearch(QObject* parent = nullptr);

    // Searches; emits FolderEntered for every folder and EntryFound for every entry kept,
    // then Finished or Cancelled, then Ended.
    void Run(const SearchRequest& request);
    // Asks a running search to stop; may be called from a handler that runs inside Run.
    void Cancel() { FCancel = true; }
    bool CancelRequested() const { return FCancel; }

    // The mount table consulted for the file systems not to go down into; tests hand in
    // their own.
    void SetMountTable(const QString& path) { FMountTablePath = path; }

signals:
    void FolderEntered(const QString& folder);
    void EntryFound(const FoundEntry& entry);
    void Finished();
    void Cancelled();
    void Ended();

private:
    void PumpEvents(bool force);

    bool FCancel = false;
    QElapsedTimer FLastPump;
    QString FMountTablePath = QStringLiteral("/proc/self/mountinfo");
};

#endif
