// FileSearch.cpp: the search, on the file system's own calls (readdir, statx): it touches
// only the entries whose names match, so a tree of hundreds of thousands of files takes
// seconds.
#include "frontend/framework/FileSearch.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Events are processed at least this often while the search runs.
constexpr qint64 kPumpIntervalMs = 25;

struct Entry {
    std::string name;
    unsigned char type; // d_type
};

struct Folder {
    std::string path; // with a trailing '/'
    dev_t parentDevice;
    bool root;
};

using FolderId = std::pair<dev_t, ino_t>;

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

QStringList SplitList(const QString& list)
{
    QStringList items;
    for (const QString& item : list.split(u';')) {
        QString trimmed = item.trimmed();
        if (!trimmed.isEmpty()) items << trimmed;
    }
    return items;
}

// A Windows mask as an fnmatch pattern: '*' and '?' keep their meaning, "*.*" matches
// every name, and '[' and '\' are plain characters there.
std::string Pattern(const QString& mask)
{
    if (mask == u"*.*") return "*";
    std::string pattern;
    for (char c : QFile::encodeName(mask).toStdString()) {
        if (c == '[' || c == '\\') pattern += '\\';
        pattern += c;
    }
    return pattern;
}

qint64 Milliseconds(const struct statx_timestamp& t) { return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000; }

// The entry passes the size, attribute and time checks of the request.
bool Keep(const SearchRequest& r, int folderFd, const char* name, const struct statx& sx, qint64 size,
          FoundEntry& found)
{
    if (r.minSize > 0 && size < r.minSize) return false;
    if (r.maxSize > 0 && size > r.maxSize) return false;
    if (r.attributes != 0) {
        if (r.attributes & (AttrSystem | AttrArchive)) return false;
        if ((r.attributes & AttrHidden) && name[0] != '.') return false;
        if ((r.attributes & AttrReadOnly) && faccessat(folderFd, name, W_OK, AT_EACCESS) == 0) return false;
    }
    const qint64 created = Milliseconds((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime);
    const qint64 accessed = Milliseconds(sx.stx_atime);
    const qint64 modified = Milliseconds(sx.stx_mtime);
    if (r.checkCreated && created < r.createdSince.toMSecsSinceEpoch()) return false;
    if (r.checkAccessed && accessed < r.accessedSince.toMSecsSinceEpoch()) return false;
    if (r.checkModified && modified < r.modifiedSince.toMSecsSinceEpoch()) return false;
    found.size = size;
    found.created = QDateTime::fromMSecsSinceEpoch(created);
    found.accessed = QDateTime::fromMSecsSinceEpoch(accessed);
    found.modified = QDateTime::fromMSecsSinceEpoch(modified);
    return true;
}

} // namespace

FileSearch::FileSearch(QObject* parent) : QObject(parent) {}

void FileSearch::PumpEvents(bool force)
{
    if (!force && FLastPump.isValid() && FLastPump.elapsed() < kPumpIntervalMs) return;
    FLastPump.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void FileSearch::Run(const SearchRequest& request)
{
    FCancel = false;
    FLastPump.invalidate();

    std::vector<std::string> patterns;
    for (const QString& mask : SplitList(request.masks)) patterns.push_back(Pattern(mask));
    if (patterns.empty()) patterns.push_back("*");
    const QStringList folders = SplitList(request.folders);

    std::set<dev_t> foreignDevices;
    for (const MountEntry& entry : ReadMountTable(FMountTablePath))
        if (!IsLocalDisk(entry)) foreignDevices.insert(entry.device);
    std::set<FolderId> roots;
    for (const QString& folder : folders) {
        struct stat st {};
        if (stat(QFile::encodeName(folder).constData(), &st) == 0) roots.insert({st.st_dev, st.st_ino});
    }
    std::set<FolderId> visited;
    std::vector<Entry> entries;

    for (const QString& folder : folders) {
        if (FCancel) break;
        std::string rootPath = QFile::encodeName(folder).toStdString();
        if (rootPath.back() != '/') rootPath += '/';
        // Depth first, in name order: a folder's subfolders go on the stack in reverse.
        std::vector<Folder> stack{{rootPath, 0, true}};
        while (!stack.empty() && !FCancel) {
            const Folder current = std::move(stack.back());
            stack.pop_back();

            // Only the folders the user named may be reached through a symbolic link.
            const int fd =
                open(current.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (current.root ? 0 : O_NOFOLLOW));
            if (fd < 0) continue;
            std::unique_ptr<DIR, DirCloser> dir(fdopendir(fd));
            if (!dir) {
                close(fd);
                continue;
            }
            struct stat st {};
            if (fstat(fd, &st) != 0) continue;
            const FolderId id{st.st_dev, st.st_ino};
            if (!current.root && st.st_dev != current.parentDevice &&
                (foreignDevices.count(st.st_dev) || roots.count(id)))
                continue;
            if (!visited.insert(id).second) continue;

            PumpEvents(!FLastPump.isValid()); // at once in the first folder
            const QString folderText = QFile::decodeName(QByteArray::fromStdString(current.path));
            emit FolderEntered(folderText);

            entries.clear();
            while (const dirent* d = readdir(dir.get())) {
                if ((entries.size() & 0xFFF) == 0) {
                    PumpEvents(false);
                    if (FCancel) break;
                }
                if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
                entries.push_back({d->d_name, d->d_type});
            }
            std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });

            for (const std::string& pattern : patterns) {
                for (const Entry& e : entries) {
                    if (FCancel) break;
                    PumpEvents(false);
                    if (fnmatch(pattern.c_str(), e.name.c_str(), FNM_CASEFOLD) != 0) continue;
                    // A link to a file is found as the file it names; a broken link is no file.
                    struct statx sx {};
                    if (statx(fd, e.name.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
                        continue;
                    const qint64 size = S_ISDIR(sx.stx_mode) ? 0 : qint64(sx.stx_size);
                    FoundEntry found;
                    if (!Keep(request, fd, e.name.c_str(), sx, size, found)) continue;
                    found.folder = folderText;
                    found.name = QFile::decodeName(QByteArray::fromStdString(e.name));
                    emit EntryFound(found);
                }
            }
            if (!request.recurse || FCancel) continue;

            const size_t firstChild = stack.size();
            for (const Entry& e : entries) {
                bool isDir = e.type == DT_DIR;
                if (e.type == DT_UNKNOWN) {
                    struct stat child {};
                    isDir = fstatat(fd, e.name.c_str(), &child, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(child.st_mode);
                }
                if (isDir) stack.push_back({current.path + e.name + '/', st.st_dev, false});
            }
            std::reverse(stack.begin() + std::ptrdiff_t(firstChild), stack.end());
        }
    }
    if (FCancel)
        emit Cancelled();
    else
        emit Finished();
    emit Ended();
}
