// ProfileStore.cpp: profile files, the directory lock, atomic creation and stale reclaim.
#include "platform/mapi/session/ProfileStore.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace krv::mapi {
namespace {

// Files of the directory that are not profiles start with '.', which no profile name may.
constexpr std::string_view kLockName = ".lock";
constexpr std::string_view kTempPrefix = ".new-";

HRESULT ResultOfErrno(int error)
{
    // Never E_ACCESSDENIED: a caller takes that for "name taken" and would try the next
    // name, when the directory itself is the problem.
    if (error == ENOSPC || error == EDQUOT) return MAPI_E_NOT_ENOUGH_DISK;
    return MAPI_E_CALL_FAILED;
}

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

std::string HomeDirectory()
{
    const char* home = std::getenv("HOME");
    if (IsAbsolute(home)) return home;
    // HOME unset (a service, a cleared environment): the password database knows.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        IsAbsolute(found->pw_dir))
        return found->pw_dir;
    return "/tmp";
}

// The file name of a profile: the name with ASCII letters in lower case.
std::string FileNameOf(std::string_view name)
{
    std::string file(name);
    for (char& c : file) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return file;
}

// Creates the directory and its missing parents (mode 0700: profiles are the user's).
HRESULT EnsureDirectory(const std::string& path)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return ResultOfErrno(errno);
        if (slash == std::string::npos) break;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return MAPI_E_CALL_FAILED;
    return S_OK;
}

// An open file descriptor, closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// The exclusive lock on the profile directory, held for one change. flock locks belong to
// the open file description, so two threads of one process exclude each other too, and
// the lock goes with its holder when that process dies.
class DirectoryLock {
public:
    explicit DirectoryLock(const std::string& directory)
        : m_file(::open((directory + "/" + std::string(kLockName)).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        if (m_file.Get() < 0) {
            m_error = errno;
            return;
        }
        while (::flock(m_file.Get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                m_error = errno;
                return;
            }
        }
        m_locked = true;
    }
    bool Locked() const { return m_locked; }
    HRESULT Error() const { return ResultOfErrno(m_error); }

private:
    Descriptor m_file; // closing it drops the lock
    bool m_locked = false;
    int m_error = 0;
};

enum class EntryState { Missing, Unreadable, Valid };

struct Entry {
    EntryState state = EntryState::Missing;
    ProfileRecord record;
};

Entry ReadEntry(const std::string& path, std::string_view name)
{
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (file.Get() < 0) return {errno == ENOENT ? EntryState::Missing : EntryState::Unreadable, {}};
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<uint64_t>(info.st_size) > kMaxProfileFileBytes)
        return {EntryState::Unreadable, {}};
    std::string text;
    text.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t got = ::read(file.Get(), text.data() + done, text.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return {EntryState::Unreadable, {}};
        done += static_cast<size_t>(got);
    }
    auto record = ParseProfile(text);
    // A file under another name (copied or renamed by hand) is not that profile.
    if (!record || FileNameOf(record->name) != FileNameOf(name)) return {EntryState::Unreadable, {}};
    return {EntryState::Valid, std::move(*record)};
}

// Writes `text` in full to a new temporary file of `directory`; its path, or none with
// errno set.
std::optional<std::string> WriteTempFile(const std::string& directory, const std::string& text)
{
    static std::atomic<uint64_t> sequence{0};
    const std::string path = directory + "/" + std::string(kTempPrefix) + std::to_string(::getpid()) + "-" +
                             std::to_string(sequence.fetch_add(1));
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return std::nullopt;
    Descriptor file(fd);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            const int error = put < 0 ? errno : ENOSPC;
            ::unlink(path.c_str());
            errno = error;
            return std::nullopt;
        }
        done += static_cast<size_t>(put);
    }
    if (::fsync(fd) != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        errno = error;
        return std::nullopt;
    }
    return path;
}

// Puts a complete profile file at `path`, which must not exist (the lock is held and the
// caller checked). link() refuses to replace anything, so even a process that ignored the
// lock could not be overwritten; file systems without hard links get a rename.
HRESULT PlaceNewEntry(const std::string& directory, const std::string& path, const ProfileRecord& record)
{
    const auto temp = WriteTempFile(directory, SerializeProfile(record));
    if (!temp) return ResultOfErrno(errno);
    HRESULT hr = S_OK;
    if (::link(temp->c_str(), path.c_str()) != 0) {
        if (errno == EEXIST) {
            hr = E_ACCESSDENIED;
        } else if ((errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS) &&
                   ::rename(temp->c_str(), path.c_str()) == 0) {
            return S_OK;
        } else {
            hr = ResultOfErrno(errno);
        }
    }
    ::unlink(temp->c_str());
    return hr;
}

// Replaces an existing profile file in one step.
HRESULT ReplaceEntry(const std::string& directory, const std::string& path, const ProfileRecord& record)
{
    const auto temp = WriteTempFile(directory, SerializeProfile(record));
    if (!temp) return ResultOfErrno(errno);
    if (::rename(temp->c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp->c_str());
        return ResultOfErrno(error);
    }
    return S_OK;
}

// Every change writes under the lock, so a temporary file seen while holding it was left
// by a process that died mid-write.
void RemoveLeftoverTempFiles(const std::string& directory)
{
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> leftovers;
    while (const dirent* item = ::readdir(dir)) {
        if (std::string_view(item->d_name).starts_with(kTempPrefix)) leftovers.emplace_back(item->d_name);
    }
    ::closedir(dir);
    for (const auto& file : leftovers) ::unlink((directory + "/" + file).c_str());
}

bool OwnedByThisProcess(const ProfileRecord& record) { return record.owner == CurrentProcessIdentity(); }

} // namespace

std::string ProfileDirectory()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    // XDG base directories ignore a relative value.
    const std::string base = IsAbsolute(state) ? std::string(state) : HomeDirectory() + "/.local/state";
    return base + "/corvessa/profiles";
}

bool IsValidProfileName(std::string_view name)
{
    if (name.empty() || name.size() > kMaxProfileNameLength || name[0] == '.') return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F || c == '/';
    });
}

HRESULT CreateProfileEntry(std::string_view name)
{
    if (!IsValidProfileName(name)) return MAPI_E_INVALID_PARAMETER;
    const std::string directory = ProfileDirectory();
    HRESULT hr = EnsureDirectory(directory);
    if (FAILED(hr)) return hr;
    DirectoryLock lock(directory);
    if (!lock.Locked()) return lock.Error();
    RemoveLeftoverTempFiles(directory);

    const std::string path = directory + "/" + FileNameOf(name);
    const Entry existing = ReadEntry(path, name);
    if (existing.state == EntryState::Valid && IsProcessAlive(existing.record.owner)) return E_ACCESSDENIED;
    if (existing.state != EntryState::Missing && ::unlink(path.c_str()) != 0 && errno != ENOENT)
        return ResultOfErrno(errno);

    ProfileRecord record;
    record.name = std::string(name);
    record.owner = CurrentProcessIdentity();
    return PlaceNewEntry(directory, path, record);
}

std::optional<ProfileRecord> ReadProfileEntry(std::string_view name)
{
    if (!IsValidProfileName(name)) return std::nullopt;
    Entry entry = ReadEntry(ProfileDirectory() + "/" + FileNameOf(name), name);
    if (entry.state != EntryState::Valid || !IsProcessAlive(entry.record.owner)) return std::nullopt;
    return std::move(entry.record);
}

HRESULT UpdateProfileEntry(std::string_view name, const std::function<HRESULT(ProfileRecord&)>& change)
{
    if (!IsValidProfileName(name)) return MAPI_E_NOT_FOUND;
    const std::string directory = ProfileDirectory();
    DirectoryLock lock(directory);
    if (!lock.Locked()) return MAPI_E_NOT_FOUND; // no directory, so no profile
    const std::string path = directory + "/" + FileNameOf(name);
    Entry entry = ReadEntry(path, name);
    if (entry.state != EntryState::Valid || !IsProcessAlive(entry.record.owner)) return MAPI_E_NOT_FOUND;
    if (!OwnedByThisProcess(entry.record)) return MAPI_E_NO_ACCESS;
    const HRESULT hr = change(entry.record);
    if (FAILED(hr)) return hr;
    const HRESULT written = ReplaceEntry(directory, path, entry.record);
    return FAILED(written) ? written : hr;
}

HRESULT RemoveProfileEntry(std::string_view name, std::optional<ProfileRecord>* removed)
{
    if (removed != nullptr) removed->reset();
    if (!IsValidProfileName(name)) return MAPI_E_NOT_FOUND;
    const std::string directory = ProfileDirectory();
    DirectoryLock lock(directory);
    if (!lock.Locked()) return MAPI_E_NOT_FOUND;
    const std::string path = directory + "/" + FileNameOf(name);
    Entry entry = ReadEntry(path, name);
    if (entry.state != EntryState::Valid) return MAPI_E_NOT_FOUND;
    const bool mine = OwnedByThisProcess(entry.record);
    if (!mine && IsProcessAlive(entry.record.owner)) return MAPI_E_NO_ACCESS;
    if (::unlink(path.c_str()) != 0) return ResultOfErrno(errno);
    if (mine && removed != nullptr) *removed = std::move(entry.record);
    return S_OK;
}

std::vector<ProfileRecord> ListProfileEntries()
{
    const std::string directory = ProfileDirectory();
    std::vector<std::string> files;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* item = ::readdir(dir)) {
            if (item->d_name[0] != '.') files.emplace_back(item->d_name);
        }
        ::closedir(dir);
    }
    std::vector<ProfileRecord> profiles;
    for (const auto& file : files) {
        Entry entry = ReadEntry(directory + "/" + file, file);
        if (entry.state == EntryState::Valid && IsProcessAlive(entry.record.owner))
            profiles.push_back(std::move(entry.record));
    }
    std::sort(profiles.begin(), profiles.end(),
              [](const ProfileRecord& a, const ProfileRecord& b) { return a.name < b.name; });
    return profiles;
}

} // namespace krv::mapi
