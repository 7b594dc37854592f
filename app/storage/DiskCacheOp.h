// The local picture cache: the previews the handheld has received, kept in a folder tree below
// "Last Orin Captures" that mirrors the camera's folders.
//
// Every path here is derived from a camera full name and every name has passed the component
// check, and still each create, write, stamp and delete first makes sure the resolved path lies
// below the cache root: a symbolic link or a hostile name must never let the cache touch the
// user's own files.
//
// The cache lock serialises every preview download, save and deletion in the process; the tree
// lock of the storage model, when both are held, is taken first.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "app/storage/ObjectNames.h"
#include "app/storage/VolumeMeter.h"

namespace storage::DiskCacheOp {

// The one process-wide lock around every preview download, save and cache deletion.
std::recursive_mutex& CacheLock();

// The program folder's "Last Orin Captures" folder, without a trailing separator.
std::filesystem::path CacheRoot();
bool EnsureCacheRoot();

// The local file name of a picture: the extension of its name replaced by "jpg" (".jpg" appended
// when it has none). Pic0001.mos gives Pic0001.jpg.
std::u16string LocalFileName(std::u16string_view pictureName);
// The local folder of a camera folder ("./" is the cache root itself).
bool LocalFolderPath(std::u16string_view folderFullName, std::filesystem::path& out);
// The plain or the processed ("~" in front of the name) preview of a picture.
bool LocalPreviewPath(std::u16string_view fileFullName, bool processed, std::filesystem::path& out);
// True when path resolves (symbolic links followed) to something strictly below the cache root;
// with allowRoot the root itself passes too.
bool IsBelowCacheRoot(const std::filesystem::path& path, bool allowRoot = false);

// Creates the local folder of a camera folder with every missing level.
bool CreateLocalFolderTree(std::u16string_view folderFullName);
// One folder below the parent's local folder.
bool CreateLocalFolder(std::u16string_view parentFullName, std::u16string_view name);

// Deletes the oldest previews while the volume is fuller than minPercent, once it has reached
// maxPercent.
bool CacheFreeSpace(int minPercent, int maxPercent, IVolumeMeter& meter = DefaultVolumeMeter());

// Deletes the plain preview of fullName when its file time differs from the camera time stamp
// in anything but the seconds. Returns 1 when a file was deleted, else 0.
int DeleteIfModified(std::u16string_view fullName, std::u16string_view cameraTimestamp);
int DeleteIfModifiedPath(const std::filesystem::path& preview, std::u16string_view cameraTimestamp);

// Brings a local folder in line with a "dir" listing of its camera folder (the items as listed,
// "F-name,stamp" / "D-name,stamp"): files and folders the listing no longer names are deleted,
// and previews whose picture changed on the camera.
bool ReconcileLocalFolder(std::u16string_view folderFullName, const std::vector<std::u16string>& items);

// Every cached file of a picture whatever its extension (the path without extension + ".*").
bool DeleteLocalPicture(std::u16string_view fullName);
// Everything below the local folder, and the folder itself when removeFolder.
bool DeleteLocalFolder(std::u16string_view folderFullName, bool removeFolder);
// Everything below the cache root; the root stays.
bool ClearLocalCache();
// The children of a local folder as "name,d;" / "name,f;", sorted by name.
bool GetLocalFolderListing(std::u16string_view folderFullName, std::u16string& listing);

// Moves or copies the cached preview of a picture to another picture's local path.
bool MoveLocalPicture(std::u16string_view sourceFullName, std::u16string_view targetFullName);
bool CopyLocalPicture(std::u16string_view sourceFullName, std::u16string_view targetFullName);

// File times hold the camera time stamp as written, with no time-zone conversion.
bool StampFile(const std::filesystem::path& file, std::u16string_view timestamp);
bool ReadFileStamp(const std::filesystem::path& file, TimeFields& fields);

// Writes bytes to path through a temporary file in the same folder that is renamed over path only
// once every byte is on disk: a failure leaves neither a partial file nor a changed old one.
bool WriteFileAtomically(const std::filesystem::path& path, const uint8_t* data, size_t size);

// Deletes one file below the cache root. True when it is gone (or was never there).
bool DeleteLocalFile(const std::filesystem::path& file);

}  // namespace storage::DiskCacheOp
