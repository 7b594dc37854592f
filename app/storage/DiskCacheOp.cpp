#include "app/storage/DiskCacheOp.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <system_error>

#include "app/platform/Log.h"
#include "app/platform/Paths.h"
#include "app/storage/WideText.h"

namespace fs = std::filesystem;

namespace storage::DiskCacheOp {

namespace {

// Relative local path of a camera full name: the components below the root, each checked.
bool RelativePath(std::u16string_view fullName, fs::path& out)
{
    const std::vector<std::u16string> parts = SplitComponents(fullName);
    if (parts.empty() || parts.front() != kRootName) {
        return false;
    }
    out.clear();
    for (size_t i = 1; i < parts.size(); ++i) {
        if (!IsValidComponent(parts[i])) {
            return false;
        }
        out /= ToPath(parts[i]);
    }
    return true;
}

std::u16string JoinFullName(std::u16string_view folderFullName, std::u16string_view name)
{
    std::u16string full(folderFullName);
    if (full.empty() || full.back() != u'/') {
        full.push_back(u'/');
    }
    full.append(name);
    return full;
}

bool PathHasPrefix(const fs::path& path, const fs::path& prefix, bool allowEqual)
{
    auto p = path.begin();
    auto q = prefix.begin();
    for (; q != prefix.end(); ++q, ++p) {
        if (q->empty()) {
            continue;  // the empty element a trailing separator leaves
        }
        if (p == path.end() || *p != *q) {
            return false;
        }
    }
    while (p != path.end() && p->empty()) {
        ++p;
    }
    return allowEqual || p != path.end();
}

bool RemoveTree(const fs::path& folder, bool removeFolder)
{
    std::error_code ec;
    bool ok = true;
    if (!fs::exists(fs::symlink_status(folder, ec))) {
        return true;
    }
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path entry = it->path();
        std::error_code typeError;
        const fs::file_status status = fs::symlink_status(entry, typeError);
        if (fs::is_directory(status)) {
            ok = RemoveTree(entry, true) && ok;
        } else if (!DeleteLocalFile(entry)) {
            ok = false;
        }
    }
    if (ec) {
        ORIN_LOG_ERROR("DiskCacheOp::DeleteLocalFolder", "Can't enumerate %s: %s", folder.c_str(),
                       ec.message().c_str());
        ok = false;
    }
    if (removeFolder) {
        if (!IsBelowCacheRoot(folder)) {
            ORIN_LOG_ERROR("DiskCacheOp::DeleteLocalFolder", "Refusing to remove %s: not below the cache root",
                           folder.c_str());
            return false;
        }
        std::error_code removeError;
        fs::remove(folder, removeError);
        if (removeError) {
            ORIN_LOG_ERROR("DiskCacheOp::DeleteLocalFolder", "Can't remove %s: %s", folder.c_str(),
                           removeError.message().c_str());
            ok = false;
        }
    }
    return ok;
}

}  // namespace

std::recursive_mutex& CacheLock()
{
    static std::recursive_mutex s_lock;
    return s_lock;
}

fs::path CacheRoot()
{
    ORIN_TRACE("DiskCacheOp::CacheRoot");
    fs::path root = platform::Paths::CapturesFolder();
    if (!root.has_filename()) {
        root = root.parent_path();
    }
    return root;
}

bool EnsureCacheRoot()
{
    ORIN_TRACE("DiskCacheOp::EnsureCacheRoot");
    std::error_code ec;
    const fs::path root = CacheRoot();
    fs::create_directories(root, ec);
    if (ec || !fs::is_directory(root, ec)) {
        ORIN_LOG_ERROR("DiskCacheOp::EnsureCacheRoot", "Can't create Last Orin Captures directory %s",
                       root.c_str());
        return false;
    }
    return true;
}

std::u16string LocalFileName(std::u16string_view pictureName)
{
    ORIN_TRACE("DiskCacheOp::LocalFileName");
    const size_t dot = pictureName.rfind(u'.');
    // A leading dot starts a hidden name, not an extension.
    if (dot == std::u16string_view::npos || dot == 0) {
        return std::u16string(pictureName) + u".jpg";
    }
    return std::u16string(pictureName.substr(0, dot)) + u".jpg";
}

bool LocalFolderPath(std::u16string_view folderFullName, fs::path& out)
{
    ORIN_TRACE("DiskCacheOp::LocalFolderPath");
    fs::path relative;
    if (!RelativePath(folderFullName, relative)) {
        return false;
    }
    out = relative.empty() ? CacheRoot() : CacheRoot() / relative;
    return true;
}

bool LocalPreviewPath(std::u16string_view fileFullName, bool processed, fs::path& out)
{
    ORIN_TRACE("DiskCacheOp::LocalPreviewPath");
    std::u16string folder;
    std::u16string name;
    if (!SplitFullObjName(fileFullName, folder, name) || !IsValidComponent(name)) {
        return false;
    }
    fs::path folderPath;
    if (!LocalFolderPath(folder, folderPath)) {
        return false;
    }
    std::u16string local = LocalFileName(name);
    if (processed) {
        local.insert(local.begin(), u'~');
    }
    out = folderPath / ToPath(local);
    return true;
}

bool IsBelowCacheRoot(const fs::path& path, bool allowRoot)
{
    ORIN_TRACE("DiskCacheOp::IsBelowCacheRoot");
    std::error_code ec;
    const fs::path root = fs::weakly_canonical(CacheRoot(), ec);
    if (ec) {
        return false;
    }
    // The file itself may be a symbolic link that is to be deleted; judge where it sits, not
    // where it points.
    const fs::path parent = fs::weakly_canonical(path.parent_path(), ec);
    if (ec) {
        return false;
    }
    const fs::path name = path.filename();
    if (name.empty() || name == "." || name == "..") {
        const fs::path resolved = fs::weakly_canonical(path, ec);
        return !ec && PathHasPrefix(resolved, root, allowRoot);
    }
    return PathHasPrefix(parent / name, root, allowRoot);
}

bool CreateLocalFolderTree(std::u16string_view folderFullName)
{
    ORIN_TRACE("DiskCacheOp::CreateLocalFolderTree");
    fs::path folder;
    if (!LocalFolderPath(folderFullName, folder)) {
        ORIN_LOG_ERROR("DiskCacheOp::CreateLocalFolderTree", "Refusing folder name %s",
                       ToUtf8(folderFullName).c_str());
        return false;
    }
    if (!EnsureCacheRoot()) {
        return false;
    }
    if (!IsBelowCacheRoot(folder, true)) {
        ORIN_LOG_ERROR("DiskCacheOp::CreateLocalFolderTree", "Refusing %s: not below the cache root",
                       folder.c_str());
        return false;
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        ORIN_LOG_ERROR("DiskCacheOp::CreateLocalFolderTree", "Can't create Last Orin Captures directory %s",
                       folder.c_str());
        return false;
    }
    return true;
}

bool CreateLocalFolder(std::u16string_view parentFullName, std::u16string_view name)
{
    ORIN_TRACE("DiskCacheOp::CreateLocalFolder");
    if (!IsValidComponent(name)) {
        ORIN_LOG_ERROR("DiskCacheOp::CreateLocalFolder", "Refusing folder name %s", ToUtf8(name).c_str());
        return false;
    }
    // A parent of two characters or fewer can only be the root.
    if (parentFullName.size() <= 2 && parentFullName != u"." && parentFullName != u"./") {
        return false;
    }
    fs::path parent;
    if (!LocalFolderPath(parentFullName, parent)) {
        return false;
    }
    const fs::path folder = parent / ToPath(name);
    if (!IsBelowCacheRoot(folder)) {
        ORIN_LOG_ERROR("DiskCacheOp::CreateLocalFolder", "Refusing %s: not below the cache root", folder.c_str());
        return false;
    }
    std::error_code ec;
    fs::create_directory(folder, ec);
    if (ec) {
        ORIN_LOG_ERROR("DiskCacheOp::CreateLocalFolder", "Can't create %s: %s", folder.c_str(),
                       ec.message().c_str());
        return false;
    }
    return fs::is_directory(folder, ec);
}

bool CacheFreeSpace(int minPercent, int maxPercent, IVolumeMeter& meter)
{
    ORIN_TRACE("DiskCacheOp::CacheFreeSpace");
    std::lock_guard<std::recursive_mutex> lock(CacheLock());
    const fs::path root = CacheRoot();
    uint64_t totalBytes = 0;
    uint64_t freeBytes = 0;
    // Kilobytes in 64 bits: a volume of several terabytes must not wrap into a negative usage.
    auto measure = [&](uint64_t& totalKB, uint64_t& freeKB) {
        if (!meter.Measure(root, totalBytes, freeBytes)) {
            return false;
        }
        totalKB = totalBytes / 1024;
        freeKB = std::min(freeBytes / 1024, totalKB);
        return totalKB > 0;
    };
    uint64_t totalKB = 0;
    uint64_t freeKB = 0;
    if (!measure(totalKB, freeKB)) {
        ORIN_LOG_ERROR("DiskCacheOp::CacheFreeSpace", "CacheFreeSpace(): can't measure the volume of %s",
                       root.c_str());
        return false;
    }
    ORIN_LOG_INFO("DiskCacheOp::CacheFreeSpace", "CacheFreeSpace(): In - TotalKB=%llu, FreeKBAvailableToCaller=%llu",
                  static_cast<unsigned long long>(totalKB), static_cast<unsigned long long>(freeKB));
    auto usage = [&] { return static_cast<double>(totalKB - freeKB) / static_cast<double>(totalKB); };
    if (usage() < maxPercent * 0.01) {
        return true;
    }

    struct Entry {
        fs::file_time_type time;
        fs::path path;
    };
    std::vector<Entry> files;
    files.reserve(50);
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        std::error_code statusError;
        const fs::file_status status = it->symlink_status(statusError);
        if (statusError || fs::is_directory(status)) {
            continue;
        }
        const fs::file_time_type time = fs::last_write_time(it->path(), statusError);
        files.push_back({statusError ? fs::file_time_type::min() : time, it->path()});
    }
    if (ec) {
        ORIN_LOG_ERROR("DiskCacheOp::CacheFreeSpace", "CacheFreeSpace(): can't walk %s: %s", root.c_str(),
                       ec.message().c_str());
        return false;
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const Entry& a, const Entry& b) { return a.time < b.time; });

    for (const Entry& entry : files) {
        if (!(usage() > minPercent * 0.01)) {
            break;
        }
        std::error_code removeError;
        if (!IsBelowCacheRoot(entry.path)) {
            continue;
        }
        fs::remove(entry.path, removeError);
        if (removeError) {
            ORIN_LOG_INFO("DiskCacheOp::CacheFreeSpace", "CacheFreeSpace(): Out Error Delete - FileName=%s  Error=%s",
                          entry.path.c_str(), removeError.message().c_str());
        }
        ORIN_LOG_INFO("DiskCacheOp::CacheFreeSpace", "CacheFreeSpace():  DeleteFile %s", entry.path.c_str());
        if (!measure(totalKB, freeKB)) {
            ORIN_LOG_ERROR("DiskCacheOp::CacheFreeSpace", "CacheFreeSpace(): can't measure the volume of %s",
                           root.c_str());
            return false;
        }
    }
    ORIN_LOG_INFO("DiskCacheOp::CacheFreeSpace", "CacheFreeSpace(): Out - TotalKB=%llu, FreeKBAvailableToCaller=%llu",
                  static_cast<unsigned long long>(totalKB), static_cast<unsigned long long>(freeKB));
    return true;
}

int DeleteIfModified(std::u16string_view fullName, std::u16string_view cameraTimestamp)
{
    ORIN_TRACE("DiskCacheOp::DeleteIfModified");
    fs::path preview;
    if (!LocalPreviewPath(fullName, false, preview)) {
        ORIN_LOG_ERROR("DiskCacheOp::DeleteIfModified", "DeleteIfModified(): GetFileAttributesEx failed for %s",
                       ToUtf8(fullName).c_str());
        return 0;
    }
    return DeleteIfModifiedPath(preview, cameraTimestamp);
}

int DeleteIfModifiedPath(const fs::path& preview, std::u16string_view cameraTimestamp)
{
    ORIN_TRACE("DiskCacheOp::DeleteIfModifiedPath");
    std::lock_guard<std::recursive_mutex> lock(CacheLock());
    TimeFields cached{};
    if (!ReadFileStamp(preview, cached)) {
        ORIN_LOG_ERROR("DiskCacheOp::DeleteIfModified", "DeleteIfModified(): GetFileAttributesEx failed for %s",
                       preview.c_str());
        return 0;
    }
    TimeFields camera{};
    const int read = ParseTimeStamp(cameraTimestamp, camera);
    if (read < 6) {
        ORIN_LOG_ERROR("DiskCacheOp::DeleteIfModified", "DeleteIfModified(): Can't read all field from time stapm %s : %d",
                       ToUtf8(cameraTimestamp).c_str(), read);
        return 0;
    }
    // Seconds are left out: the camera's stamps and the file times may round them differently.
    if (std::equal(cached.begin(), cached.begin() + 5, camera.begin())) {
        return 0;
    }
    const int result = DeleteLocalFile(preview) ? 1 : 0;
    ORIN_LOG_INFO("DiskCacheOp::DeleteIfModified",
                  "File deleted: %s, Cache time: %04d:%02d:%02d:%02d:%02d:%02d, DCB time: %s, Result: %d",
                  preview.c_str(), cached[0], cached[1], cached[2], cached[3], cached[4], cached[5],
                  ToUtf8(cameraTimestamp).c_str(), result);
    return result;
}

bool ReconcileLocalFolder(std::u16string_view folderFullName, const std::vector<std::u16string>& items)
{
    ORIN_TRACE("DiskCacheOp::ReconcileLocalFolder");
    std::lock_guard<std::recursive_mutex> lock(CacheLock());
    fs::path folder;
    if (!LocalFolderPath(folderFullName, folder)) {
        return false;
    }
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        return true;  // nothing cached for this folder yet
    }
    // Keyed by the local name each listed item would have, so that names of any extension and
    // type letters of either case match their cached files.
    std::map<std::u16string, ListingItem> listed;
    for (const std::u16string& item : items) {
        ListingItem entry;
        if (!ParseListingItem(item, entry) || !IsValidComponent(entry.name)) {
            continue;
        }
        const std::u16string key = entry.isFolder ? entry.name : LocalFileName(entry.name);
        listed[key] = std::move(entry);
    }

    bool ok = true;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back(*it);
    }
    if (ec) {
        ORIN_LOG_ERROR("DiskCacheOp::ReconcileLocalFolder", "Can't enumerate %s: %s", folder.c_str(),
                       ec.message().c_str());
        return false;
    }
    for (const fs::directory_entry& entry : entries) {
        const std::u16string name = FromPath(entry.path().filename());
        std::error_code statusError;
        const bool isFolder = fs::is_directory(entry.symlink_status(statusError));
        const auto found = listed.find(name);
        const bool matches = found != listed.end() && found->second.isFolder == isFolder;
        if (!matches) {
            if (isFolder) {
                ok = DeleteLocalFolder(JoinFullName(folderFullName, name) + u"/", true) && ok;
            } else if (IsValidComponent(name)) {
                ok = DeleteLocalPicture(JoinFullName(folderFullName, name)) && ok;
            } else {
                ok = DeleteLocalFile(entry.path()) && ok;
            }
        } else if (!isFolder && !found->second.timestamp.empty()) {
            DeleteIfModifiedPath(entry.path(), found->second.timestamp);
        }
    }
    return ok;
}

bool DeleteLocalPicture(std::u16string_view fullName)
{
    ORIN_TRACE("DiskCacheOp::DeleteLocalPicture");
    std::lock_guard<std::recursive_mutex> lock(CacheLock());
    std::u16string folderName;
    std::u16string name;
    fs::path folder;
    if (!SplitFullObjName(fullName, folderName, name) || !IsValidComponent(name) ||
        !LocalFolderPath(folderName, folder)) {
        ORIN_LOG_ERROR("DiskCacheOp::DeleteLocalPicture", "Refusing picture name %s", ToUtf8(fullName).c_str());
        return false;
    }
    const size_t dot = name.rfind(u'.');
    const std::u16string base = (dot == std::u16string::npos || dot == 0) ? name : name.substr(0, dot);
    // Like a "name.*" search, this takes the bare name too: a file without any extension must
    // not outlive the picture (or the listing that no longer names it).
    const std::string bareName = ToUtf8(base);
    const std::string prefix = bareName + ".";
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        return true;
    }
    bool ok = true;
    std::vector<fs::path> doomed;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entryName = it->path().filename().string();
        std::error_code statusError;
        if ((entryName == bareName || entryName.compare(0, prefix.size(), prefix) == 0) &&
            !fs::is_directory(it->symlink_status(statusError))) {
            doomed.push_back(it->path());
        }
    }
    for (const fs::path& file : doomed) {
        ok = DeleteLocalFile(file) && ok;
    }
    return ok && !ec;
}

bool DeleteLocalFolder(std::u16string_view folderFullName, bool removeFolder)
{
    ORIN_TRACE("DiskCacheOp::DeleteLocalFolder");
    std::lock_guard<std::recursive_mutex> lock(CacheLock());
    fs::path folder;
    if (!LocalFolderPath(folderFullName, folder)) {
        ORIN_LOG_ERROR("DiskCacheOp::DeleteLocalFolder", "Refusing folder name %s", ToUtf8(folderFullName).c_str());
        return false;
    }
    if (!IsBelowCacheRoot(folder, true)) {
        ORIN_LOG_ERROR("DiskCacheOp::DeleteLocalFolder", "Refusing %s: not below the cache root", folder.c_str());
        return false;
    }
    const bool isRoot = SplitComponents(folderFullName).size() == 1;
    return RemoveTree(folder, removeFolder && !isRoot);
}

bool ClearLocalCache()
{
    ORIN_TRACE("DiskCacheOp::ClearLocalCache");
    return DeleteLocalFolder(kRootFullName, false);
}

bool GetLocalFolderListing(std::u16string_view folderFullName, std::u16string& listing)
{
    ORIN_TRACE("DiskCacheOp::GetLocalFolderListing");
    listing.clear();
    fs::path folder;
    if (!LocalFolderPath(folderFullName, folder)) {
        return true;
    }
    std::vector<std::pair<std::u16string, char16_t>> children;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code statusError;
        children.emplace_back(FromPath(it->path().filename()),
                              fs::is_directory(it->status(statusError)) ? u'd' : u'f');
    }
    std::sort(children.begin(), children.end());
    for (const auto& [name, letter] : children) {
        listing += name;
        listing += u',';
        listing += letter;
        listing += u';';
    }
    return true;
}

bool MoveLocalPicture(std::u16string_view sourceFullName, std::u16string_view targetFullName)
{
    ORIN_TRACE("DiskCacheOp::MoveLocalPicture");
    std::lock_guard<std::recursive_mutex> lock(CacheLock());
    fs::path source;
    fs::path target;
    fs::path processed;
    if (!LocalPreviewPath(sourceFullName, false, source) || !LocalPreviewPath(targetFullName, false, target) ||
        !LocalPreviewPath(sourceFullName, true, processed)) {
        return false;
    }
    // A processed rendering belongs to the old name's session only: left there, it would be taken
    // for the preview of a later picture of that name.
    DeleteLocalFile(processed);
    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) {
        DeleteLocalPicture(sourceFullName);
        return true;  // nothing cached to carry along
    }
    std::u16string targetFolder;
    std::u16string targetName;
    if (!SplitFullObjName(targetFullName, targetFolder, targetName) || !CreateLocalFolderTree(targetFolder) ||
        !IsBelowCacheRoot(source) || !IsBelowCacheRoot(target)) {
        return false;
    }
    fs::rename(source, target, ec);
    if (ec) {
        ORIN_LOG_ERROR("DiskCacheOp::MoveLocalPicture", "Can't move %s to %s: %s", source.c_str(), target.c_str(),
                       ec.message().c_str());
        return false;
    }
    DeleteLocalPicture(sourceFullName);
    return true;
}

bool CopyLocalPicture(std::u16string_view sourceFullName, std::u16string_view targetFullName)
{
    ORIN_TRACE("DiskCacheOp::CopyLocalPicture");
    std::lock_guard<std::recursive_mutex> lock(CacheLock());
    fs::path source;
    fs::path target;
    if (!LocalPreviewPath(sourceFullName, false, source) || !LocalPreviewPath(targetFullName, false, target)) {
        return false;
    }
    std::error_code ec;
    if (!fs::is_regular_file(source, ec)) {
        return true;
    }
    std::u16string targetFolder;
    std::u16string targetName;
    if (!SplitFullObjName(targetFullName, targetFolder, targetName) || !CreateLocalFolderTree(targetFolder) ||
        !IsBelowCacheRoot(target)) {
        return false;
    }
    // The old file goes first, so that a symbolic link lying there is replaced, never written
    // through to whatever it points at.
    if (!DeleteLocalFile(target)) {
        return false;
    }
    fs::copy_file(source, target, fs::copy_options::none, ec);
    if (ec) {
        ORIN_LOG_ERROR("DiskCacheOp::CopyLocalPicture", "Can't copy %s to %s: %s", source.c_str(), target.c_str(),
                       ec.message().c_str());
        return false;
    }
    fs::last_write_time(target, fs::last_write_time(source, ec), ec);
    return true;
}

bool StampFile(const fs::path& file, std::u16string_view timestamp)
{
    ORIN_TRACE("DiskCacheOp::StampFile");
    TimeFields f{};
    if (ParseTimeStamp(timestamp, f) < 6 || !TimeFieldsAreValid(f) || !IsBelowCacheRoot(file)) {
        return false;
    }
    // Setting the time follows symbolic links: only a plain file of the cache is stamped.
    std::error_code statusError;
    if (!fs::is_regular_file(fs::symlink_status(file, statusError))) {
        return false;
    }
    using namespace std::chrono;
    const year_month_day date{year{f[0]}, month{static_cast<unsigned>(f[1])}, day{static_cast<unsigned>(f[2])}};
    if (!date.ok()) {
        return false;
    }
    const sys_seconds when = sys_days{date} + hours{f[3]} + minutes{f[4]} + seconds{f[5]};
    std::error_code ec;
    fs::last_write_time(file, file_clock::from_sys(when), ec);
    return !ec;
}

bool ReadFileStamp(const fs::path& file, TimeFields& fields)
{
    ORIN_TRACE("DiskCacheOp::ReadFileStamp");
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (ec || !fs::is_regular_file(status)) {
        return false;
    }
    const fs::file_time_type fileTime = fs::last_write_time(file, ec);
    if (ec) {
        return false;
    }
    using namespace std::chrono;
    const sys_seconds when = floor<seconds>(file_clock::to_sys(fileTime));
    const sys_days date = floor<days>(when);
    const year_month_day ymd{date};
    const hh_mm_ss<seconds> time{when - date};
    fields = {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
              static_cast<int>(static_cast<unsigned>(ymd.day())), static_cast<int>(time.hours().count()),
              static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count())};
    return true;
}

bool WriteFileAtomically(const fs::path& path, const uint8_t* data, size_t size)
{
    ORIN_TRACE("DiskCacheOp::WriteFileAtomically");
    if (!IsBelowCacheRoot(path)) {
        ORIN_LOG_ERROR("DiskCacheOp::WriteFileAtomically", "Refusing %s: not below the cache root", path.c_str());
        return false;
    }
    fs::path temp = path;
    temp += ".part";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        ORIN_LOG_ERROR("DiskCacheOp::WriteFileAtomically", "Failed to create a file to save %s: %s", temp.c_str(),
                       std::strerror(errno));
        return false;
    }
    size_t written = 0;
    bool ok = true;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, size - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ORIN_LOG_ERROR("DiskCacheOp::WriteFileAtomically", "Failed to save received file %s: %s", temp.c_str(),
                           n < 0 ? std::strerror(errno) : "nothing written");
            ok = false;
            break;
        }
        written += static_cast<size_t>(n);
    }
    // Flushed before the rename so that a crash leaves the old file or the whole new one.
    if (ok && ::fsync(fd) != 0) {
        ORIN_LOG_ERROR("DiskCacheOp::WriteFileAtomically", "Failed to save received file %s: %s", temp.c_str(),
                       std::strerror(errno));
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        ORIN_LOG_ERROR("DiskCacheOp::WriteFileAtomically", "Failed to save received file %s: %s", temp.c_str(),
                       std::strerror(errno));
        ok = false;
    }
    std::error_code ec;
    if (ok) {
        fs::rename(temp, path, ec);
        if (ec) {
            ORIN_LOG_ERROR("DiskCacheOp::WriteFileAtomically", "Failed to save received file %s: %s", path.c_str(),
                           ec.message().c_str());
            ok = false;
        }
    }
    if (!ok) {
        fs::remove(temp, ec);
    }
    return ok;
}

bool DeleteLocalFile(const fs::path& file)
{
    ORIN_TRACE("DiskCacheOp::DeleteLocalFile");
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(file, ec);
    if (!fs::exists(status)) {
        return true;
    }
    if (!IsBelowCacheRoot(file)) {
        ORIN_LOG_ERROR("DiskCacheOp::DeleteLocalFile", "Refusing to delete %s: not below the cache root", file.c_str());
        return false;
    }
    fs::remove(file, ec);
    if (ec) {
        ORIN_LOG_ERROR("DiskCacheOp::DeleteLocalFile", "Can't delete %s: %s", file.c_str(), ec.message().c_str());
        return false;
    }
    return true;
}

}  // namespace storage::DiskCacheOp
