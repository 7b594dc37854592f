#include "app/platform/Registry.h"

#include "app/platform/Log.h"
#include "app/platform/Paths.h"
#include "app/platform/RegistryDocument.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

namespace fs = std::filesystem;

// Holds an flock on the lock file beside the registry. The lock file is never removed: removing
// it would let two writers lock two different files.
class RegistryLock {
public:
    RegistryLock() = default;
    ~RegistryLock() { Release(); }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

    bool Acquire(const fs::path& lockFile, int operation)
    {
        Release();
        m_fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            // A read-only folder still lets a reader lock an existing lock file.
            m_fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
        }
        if (m_fd < 0) {
            return false;
        }
        while (::flock(m_fd, operation) != 0) {
            if (errno != EINTR) {
                Release();
                return false;
            }
        }
        return true;
    }

    void Release()
    {
        if (m_fd >= 0) {
            ::close(m_fd);  // closing drops the flock
            m_fd = -1;
        }
    }

private:
    int m_fd = -1;
};

fs::path LockFileOf(const fs::path& file) { return fs::path(file.string() + ".lock"); }

std::string TempPrefixOf(const fs::path& file) { return file.filename().string() + ".tmp-"; }

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadWholeFile(const fs::path& file, std::string& text)
{
    text.clear();
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return ReadResult::Missing;
        }
        ORIN_LOG_ERROR("Registry::Read", "Cannot open registry file %s: %s", file.c_str(), std::strerror(errno));
        return ReadResult::Failed;
    }
    char buffer[16384];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            ORIN_LOG_ERROR("Registry::Read", "Cannot read registry file %s: %s", file.c_str(), std::strerror(errno));
            ::close(fd);
            return ReadResult::Failed;
        }
    }
    ::close(fd);
    return ReadResult::Ok;
}

bool FsyncFolder(const fs::path& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

fs::path FolderOf(const fs::path& file)
{
    fs::path folder = file.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// Keeps an unreadable file for the user to inspect instead of overwriting it with defaults.
// Called with the exclusive lock held.
bool SetAside(const fs::path& file, const std::string& why)
{
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &utc);
    std::string base = file.string() + ".corrupt-" + stamp;
    std::string aside = base;
    std::error_code ec;
    for (int n = 2; fs::exists(aside, ec) && n < 1000; ++n) {
        aside = base + "-" + std::to_string(n);
    }
    if (::rename(file.c_str(), aside.c_str()) != 0) {
        ORIN_LOG_ERROR("Registry::Load",
                       "Registry file %s does not parse (%s) and cannot be moved aside: %s; settings are "
                       "not saved until it is repaired",
                       file.c_str(), why.c_str(), std::strerror(errno));
        return false;
    }
    FsyncFolder(FolderOf(file));
    ORIN_LOG_ERROR("Registry::Load",
                   "Registry file %s does not parse (%s); kept as %s, continuing with default settings",
                   file.c_str(), why.c_str(), aside.c_str());
    return true;
}

// Reads and parses the file; the caller holds at least a shared lock. A file that does not parse
// is set aside only when the caller holds the exclusive lock (mayRepair); otherwise the result
// is Failed with parseFailed set so that the caller can retry exclusively.
ReadResult LoadDocument(const fs::path& file, RegistryDocument& doc, bool mayRepair, bool& parseFailed)
{
    parseFailed = false;
    doc = RegistryDocument();
    std::string text;
    ReadResult r = ReadWholeFile(file, text);
    if (r != ReadResult::Ok) {
        return r;
    }
    std::string why;
    if (doc.Parse(text, why)) {
        return ReadResult::Ok;
    }
    parseFailed = true;
    if (!mayRepair) {
        return ReadResult::Failed;
    }
    return SetAside(file, why) ? ReadResult::Missing : ReadResult::Failed;
}

// Left behind only by a writer that died between creating and renaming its temp file; every
// live writer holds the exclusive lock while its temp file exists, so under that lock any
// remaining one is garbage.
void RemoveStaleTempFiles(const fs::path& file)
{
    std::error_code ec;
    const std::string prefix = TempPrefixOf(file);
    for (fs::directory_iterator it(FolderOf(file), ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().rfind(prefix, 0) == 0) {
            std::error_code removeError;
            fs::remove(it->path(), removeError);
        }
    }
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Temp file in the same folder, flushed to disk, then renamed over the old file: a reader or a
// crash sees either the whole old file or the whole new one.
bool WriteAtomically(const fs::path& file, const std::string& text)
{
    std::string temp = (FolderOf(file) / (TempPrefixOf(file) + "XXXXXX")).string();
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        ORIN_LOG_ERROR("Registry::Write", "Cannot create a temporary file beside %s: %s", file.c_str(),
                       std::strerror(errno));
        return false;
    }
    struct stat existing {};
    if (::stat(file.c_str(), &existing) == 0) {
        ::fchmod(fd, existing.st_mode & 07777);
    }
    bool ok = WriteAll(fd, text);
    int savedErrno = errno;
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    if (ok && ::rename(temp.c_str(), file.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        ORIN_LOG_ERROR("Registry::Write", "Cannot write registry file %s: %s", file.c_str(),
                       std::strerror(savedErrno));
        return false;
    }
    if (!FsyncFolder(FolderOf(file))) {
        ORIN_LOG_WARNING("Registry::Write", "Cannot flush the folder of %s: %s", file.c_str(), std::strerror(errno));
    }
    return true;
}

// Runs f on the current content of the file under a shared lock. Returns false when the file
// exists but cannot be read; f then is not called.
template <class F>
bool ReadDocument(const fs::path& file, F&& f)
{
    std::error_code ec;
    if (!fs::exists(file, ec)) {
        // Nothing stored yet; do not create lock files (or folders) just to look.
        f(RegistryDocument());
        return true;
    }
    RegistryDocument doc;
    RegistryLock lock;
    bool locked = lock.Acquire(LockFileOf(file), LOCK_SH);
    bool parseFailed = false;
    ReadResult r = LoadDocument(file, doc, false, parseFailed);
    if (parseFailed) {
        // Setting the file aside changes it, which needs the exclusive lock; another process may
        // have repaired or replaced it meanwhile, so read it again once locked.
        locked = lock.Acquire(LockFileOf(file), LOCK_EX);
        r = LoadDocument(file, doc, locked, parseFailed);
        if (parseFailed && !locked) {
            ORIN_LOG_ERROR("Registry::Load", "Registry file %s does not parse and cannot be locked to set it aside",
                           file.c_str());
        }
    }
    if (r == ReadResult::Failed) {
        if (parseFailed) {
            f(RegistryDocument());
            return true;
        }
        return false;
    }
    f(doc);
    return true;
}

// Re-reads the file under the exclusive lock, lets mutate change it and writes it back when it
// changed. mutate returns false to abandon the change.
template <class F>
bool ModifyDocument(const fs::path& file, F&& mutate)
{
    std::error_code ec;
    fs::create_directories(FolderOf(file), ec);
    RegistryLock lock;
    if (!lock.Acquire(LockFileOf(file), LOCK_EX)) {
        ORIN_LOG_ERROR("Registry::Write", "Cannot lock registry file %s: %s", file.c_str(), std::strerror(errno));
        return false;
    }
    RemoveStaleTempFiles(file);
    RegistryDocument doc;
    bool parseFailed = false;
    if (LoadDocument(file, doc, true, parseFailed) == ReadResult::Failed) {
        return false;
    }
    bool changed = false;
    if (!mutate(doc, changed)) {
        return false;
    }
    return !changed || WriteAtomically(file, doc.Serialize());
}

bool CheckKey(const char* function, const std::string& key, std::vector<std::string>& path)
{
    if (!RegistryDocument::SplitKeyPath(key, path)) {
        ORIN_LOG_ERROR(function, "Key name with a line break cannot be stored: %s", key.c_str());
        return false;
    }
    return true;
}

bool CheckValueName(const char* function, const std::string& value)
{
    if (!RegistryDocument::IsStorableValueName(value)) {
        ORIN_LOG_ERROR(function, "Value name with a line break cannot be stored: %s", value.c_str());
        return false;
    }
    return true;
}

const RegistryValue* FindValue(const RegistryDocument& doc, RegistryRoot root, const std::vector<std::string>& path,
                               const std::string& value)
{
    const RegistryKeyNode* node = doc.FindKey(root, path);
    return node != nullptr ? node->FindValue(value) : nullptr;
}

}  // namespace

Registry::Registry(std::filesystem::path file) : m_file(std::move(file)) {}

bool Registry::KeyExists(RegistryRoot root, const std::string& key) const
{
    ORIN_TRACE("Registry::KeyExists");
    std::vector<std::string> path;
    if (!RegistryDocument::SplitKeyPath(key, path)) {
        return false;
    }
    bool found = false;
    ReadDocument(m_file, [&](const RegistryDocument& doc) { found = doc.FindKey(root, path) != nullptr; });
    return found;
}

bool Registry::CreateKey(RegistryRoot root, const std::string& key)
{
    ORIN_TRACE("Registry::CreateKey");
    std::vector<std::string> path;
    if (!CheckKey("Registry::CreateKey", key, path)) {
        return false;
    }
    if (path.empty()) {
        return true;  // the roots always exist
    }
    return ModifyDocument(m_file, [&](RegistryDocument& doc, bool& changed) {
        changed = doc.FindKey(root, path) == nullptr;
        doc.CreateKey(root, path);
        return true;
    });
}

std::vector<std::string> Registry::EnumSubKeys(RegistryRoot root, const std::string& key) const
{
    ORIN_TRACE("Registry::EnumSubKeys");
    std::vector<std::string> names;
    std::vector<std::string> path;
    if (!RegistryDocument::SplitKeyPath(key, path)) {
        return names;
    }
    ReadDocument(m_file, [&](const RegistryDocument& doc) {
        if (const RegistryKeyNode* node = doc.FindKey(root, path)) {
            for (const RegistryKeyNode& sub : node->subKeys) {
                names.push_back(sub.name);
            }
        }
    });
    return names;
}

std::vector<RegistryValueInfo> Registry::EnumValues(RegistryRoot root, const std::string& key) const
{
    ORIN_TRACE("Registry::EnumValues");
    std::vector<RegistryValueInfo> values;
    std::vector<std::string> path;
    if (!RegistryDocument::SplitKeyPath(key, path)) {
        return values;
    }
    ReadDocument(m_file, [&](const RegistryDocument& doc) {
        if (const RegistryKeyNode* node = doc.FindKey(root, path)) {
            for (const RegistryValue& v : node->values) {
                values.push_back({v.name, v.type});
            }
        }
    });
    return values;
}

std::optional<uint32_t> Registry::ReadDword(RegistryRoot root, const std::string& key, const std::string& value) const
{
    ORIN_TRACE("Registry::ReadDword");
    std::optional<uint32_t> result;
    std::vector<std::string> path;
    if (!RegistryDocument::SplitKeyPath(key, path)) {
        return result;
    }
    ReadDocument(m_file, [&](const RegistryDocument& doc) {
        const RegistryValue* v = FindValue(doc, root, path, value);
        if (v == nullptr) {
            return;
        }
        if (v->type != RegistryType::Dword) {
            ORIN_LOG_WARNING("Registry::ReadDword", "Registry value %s\\%s is text, not a number", key.c_str(),
                             value.c_str());
            return;
        }
        result = v->dword;
    });
    return result;
}

std::optional<std::string> Registry::ReadString(RegistryRoot root, const std::string& key,
                                                const std::string& value) const
{
    ORIN_TRACE("Registry::ReadString");
    std::optional<std::string> result;
    std::vector<std::string> path;
    if (!RegistryDocument::SplitKeyPath(key, path)) {
        return result;
    }
    ReadDocument(m_file, [&](const RegistryDocument& doc) {
        const RegistryValue* v = FindValue(doc, root, path, value);
        if (v == nullptr) {
            return;
        }
        if (v->type != RegistryType::String) {
            ORIN_LOG_WARNING("Registry::ReadString", "Registry value %s\\%s is a number, not text", key.c_str(),
                             value.c_str());
            return;
        }
        result = v->text;
    });
    return result;
}

bool Registry::WriteDword(RegistryRoot root, const std::string& key, const std::string& value, uint32_t data)
{
    ORIN_TRACE("Registry::WriteDword");
    std::vector<std::string> path;
    if (!CheckKey("Registry::WriteDword", key, path) || !CheckValueName("Registry::WriteDword", value)) {
        return false;
    }
    return ModifyDocument(m_file, [&](RegistryDocument& doc, bool& changed) {
        RegistryKeyNode& node = doc.CreateKey(root, path);
        RegistryValue* v = node.FindValue(value);
        if (v == nullptr) {
            node.values.push_back(RegistryValue{value, RegistryType::Dword, data, {}});
            changed = true;
        } else if (v->type != RegistryType::Dword || v->dword != data) {
            v->type = RegistryType::Dword;
            v->dword = data;
            v->text.clear();
            changed = true;
        }
        return true;
    });
}

bool Registry::WriteString(RegistryRoot root, const std::string& key, const std::string& value,
                           const std::string& data)
{
    ORIN_TRACE("Registry::WriteString");
    std::vector<std::string> path;
    if (!CheckKey("Registry::WriteString", key, path) || !CheckValueName("Registry::WriteString", value)) {
        return false;
    }
    return ModifyDocument(m_file, [&](RegistryDocument& doc, bool& changed) {
        RegistryKeyNode& node = doc.CreateKey(root, path);
        RegistryValue* v = node.FindValue(value);
        if (v == nullptr) {
            node.values.push_back(RegistryValue{value, RegistryType::String, 0, data});
            changed = true;
        } else if (v->type != RegistryType::String || v->text != data) {
            v->type = RegistryType::String;
            v->dword = 0;
            v->text = data;
            changed = true;
        }
        return true;
    });
}

bool Registry::DeleteValue(RegistryRoot root, const std::string& key, const std::string& value)
{
    ORIN_TRACE("Registry::DeleteValue");
    std::vector<std::string> path;
    if (!RegistryDocument::SplitKeyPath(key, path)) {
        return false;
    }
    bool found = false;
    bool ok = ModifyDocument(m_file, [&](RegistryDocument& doc, bool& changed) {
        RegistryKeyNode* node = doc.FindKey(root, path);
        if (node == nullptr) {
            return true;
        }
        for (auto it = node->values.begin(); it != node->values.end(); ++it) {
            if (RegistryDocument::NamesEqual(it->name, value)) {
                node->values.erase(it);
                found = changed = true;
                break;
            }
        }
        return true;
    });
    return ok && found;
}

bool Registry::DeleteKeyTree(RegistryRoot root, const std::string& key)
{
    ORIN_TRACE("Registry::DeleteKeyTree");
    std::vector<std::string> path;
    if (!RegistryDocument::SplitKeyPath(key, path) || path.empty()) {
        // Wiping a whole root is never what a caller means.
        ORIN_LOG_ERROR("Registry::DeleteKeyTree", "Refusing to delete key \"%s\"", key.c_str());
        return false;
    }
    bool found = false;
    bool ok = ModifyDocument(m_file, [&](RegistryDocument& doc, bool& changed) {
        found = changed = doc.DeleteKeyTree(root, path);
        return true;
    });
    return ok && found;
}

Registry DefaultRegistry()
{
    ORIN_TRACE("platform::DefaultRegistry");
    return Registry(Paths::RegistryFile());
}

}  // namespace platform
