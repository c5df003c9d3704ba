// OpenStoreFile.cpp: the open store files of the process and their closing.
#include "platform/mapi/store/OpenStoreFile.h"

#include "platform/mapi/store/PstProvider.h"
#include "platform/mapi/store/StoreResults.h"

#include <filesystem>
#include <map>
#include <mutex>

namespace krv::mapi {
namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<OpenStoreFile>> files;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

} // namespace

OpenStoreFile::OpenStoreFile(std::string path, std::unique_ptr<pst::PstStore> store)
    : m_path(std::move(path)), m_store(std::move(store)),
      m_unicode(m_store && m_store->GetLayout() == pstformat::Layout::Unicode),
      m_entryId(PstStoreEntryId(m_path, m_unicode))
{}

HRESULT OpenStoreFile::Close()
{
    if (!m_store) return S_OK;
    const pst::StoreError error = m_store->Close();
    m_store.reset();
    return HResultOf(error);
}

void OpenStoreFile::ReleaseStoreObject()
{
    if (m_storeObjects > 0) --m_storeObjects;
    if (m_storeObjects > 0 || !m_loggedOff) return;
    {
        // Only this file leaves the list: a new file may have been made at the same path
        // since this one was closed.
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        const auto it = registry.files.find(m_path);
        if (it != registry.files.end() && it->second.get() == this) registry.files.erase(it);
    }
    (void)Close();
}

std::string CanonicalStorePath(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

std::shared_ptr<OpenStoreFile> FindOpenStoreFile(const std::string& path)
{
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const auto it = registry.files.find(CanonicalStorePath(path));
    return it == registry.files.end() ? nullptr : it->second;
}

bool RegisterOpenStoreFile(std::shared_ptr<OpenStoreFile> file)
{
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const std::string key = file->Path();
    return registry.files.emplace(key, std::move(file)).second;
}

HRESULT CloseOpenStoreFile(const std::string& path)
{
    std::shared_ptr<OpenStoreFile> file;
    {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        const auto it = registry.files.find(CanonicalStorePath(path));
        if (it == registry.files.end()) return S_OK;
        file = std::move(it->second);
        registry.files.erase(it);
    }
    return file->Close();
}

void CloseAllOpenStoreFiles()
{
    std::map<std::string, std::shared_ptr<OpenStoreFile>> files;
    {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        files.swap(registry.files);
    }
    for (auto& [path, file] : files) (void)file->Close();
}

} // namespace krv::mapi
