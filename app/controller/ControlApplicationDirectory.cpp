// The current directory: filled from the storage model (or, without a camera, from the local
// picture cache), sorted, read window by window, and extended by new pictures.
#include "app/controller/ControlApplication.h"

#include "app/controller/DirectoryComparator.h"
#include "app/link/ProtocolLayer.h"
#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"
#include "app/storage/Cache.h"
#include "app/storage/DiskCacheOp.h"
#include "app/storage/ObjectNames.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string Utf8(std::u16string_view text) { return platform::ToUtf8(text); }

// The properties an entry keeps of its node: only what says more than the initial record.
std::optional<CPictureProperties> SnapshotOf(const CPictureProperties& record)
{
    if (!record.m_bLoaded && record.m_nNewPicture == NEW_PICTURE_NO) {
        return std::nullopt;
    }
    return record;
}

}  // namespace

void CControlApplication::SetStorageModel(std::unique_ptr<CCache> cache)
{
    ORIN_TRACE("CControlApplication::SetStorageModel");
    std::lock_guard lock(m_lock);
    m_pCache = std::move(cache);
}

CCache& CControlApplication::EnsureStorageModel()
{
    if (!m_pCache) {
        m_pCache = std::make_unique<CCache>(nullptr);
    }
    return *m_pCache;
}

void CControlApplication::SetNewestPicture(const std::u16string& fileName)
{
    std::lock_guard lock(m_newestLock);
    m_strNewestPicture = fileName;
}

std::u16string CControlApplication::NewestPicture() const
{
    std::lock_guard lock(m_newestLock);
    return m_strNewestPicture;
}

bool CControlApplication::IsOnline() const
{
    return m_pCameraLink && m_pCameraLink->IsConnected() && m_pCache && m_pCache->GetProtocol() != nullptr;
}

const CCurrentDirectoryEntry* CControlApplication::CurrentEntry() const
{
    if (!m_bHasCurrentItem || !m_saCurrentDirectory.IsValidIndex(m_iCurrentIndex)) {
        return nullptr;
    }
    return &m_saCurrentDirectory[m_iCurrentIndex];
}

std::vector<CCurrentDirectoryEntry> CControlApplication::PendingPictures() const
{
    std::lock_guard lock(m_pendingLock);
    return std::vector<CCurrentDirectoryEntry>(m_saPending.begin(), m_saPending.end());
}

bool CControlApplication::HasCurrentPicture() const
{
    const CCurrentDirectoryEntry* entry = CurrentEntry();
    return entry != nullptr && !entry->IsPlaceholder();
}

int32_t CControlApplication::FindEntry(std::u16string_view fullPath, bool ignoreCase, bool fromEnd) const
{
    const int32_t n = m_saCurrentDirectory.GetArrLength();
    for (int32_t k = 0; k < n; ++k) {
        const int32_t i = fromEnd ? n - 1 - k : k;
        const std::u16string path = m_saCurrentDirectory[i].FullPath();
        if (ignoreCase ? EqualsNoCase(path, fullPath) : path == fullPath) {
            return i;
        }
    }
    return -1;
}

bool CControlApplication::SetStorageCurrentFile(const std::u16string& fullName, bool load)
{
    return m_pCache && m_pCache->SetCurrentFile(fullName, load);
}

void CControlApplication::ResetCurrentDirectory()
{
    ORIN_TRACE("CControlApplication::ResetCurrentDirectory");
    m_saCurrentDirectory.Create(0, 1);
    m_bHasCurrentItem = false;
    m_iCurrentIndex = -1;
    m_bFolderEmpty = false;
    if (m_pCache) {
        m_pCache->Clear();
    }
}

void CControlApplication::SetScaleFactorsForPreview(int previewWidth, int previewHeight)
{
    ORIN_TRACE("CControlApplication::SetScaleFactorsForPreview");
    SetScaleFactors(previewWidth, previewHeight, m_parameterLists.m_iPictureWidth, m_parameterLists.m_iPictureHeight);
}

bool CControlApplication::FillCurrentDirectoryAtStart()
{
    ORIN_TRACE("CControlApplication::FillCurrentDirectoryAtStart");
    // Back from the background the model's tree was let go: it starts again on the working folder.
    if (IsOnline() && m_pCache->GetCurrentDirectory() == nullptr) {
        std::u16string workingPath;
        if (!CConfiguration().ReadWorkingPath(workingPath) || workingPath.empty()) {
            workingPath = u"./Orin DM A/";
        }
        if (!m_pCache->Init(workingPath)) {
            ORIN_LOG_ERROR("CControlApplication::FillCurrentDirectoryAtStart", "Storage model not initialised on %s",
                           Utf8(workingPath).c_str());
        }
    }
    const bool result = FillCurrentDirectory(0, 0, -1, true, true);
    ReselectDisplayable();
    return result;
}

void CControlApplication::ReselectDisplayable()
{
    ORIN_TRACE("CControlApplication::ReselectDisplayable");
    // Each pass either finds the entry showable or removes it, so the loop ends.
    while (const CCurrentDirectoryEntry* entry = CurrentEntry()) {
        if (entry->m_bDisplayable != 0 || entry->IsPlaceholder()) {
            return;
        }
        const int32_t index = m_iCurrentIndex;
        FillCurrentDirectory(index, index, index, true, false);
        entry = CurrentEntry();
        if (entry == nullptr || entry->m_bDisplayable != 0) {
            return;
        }
        m_saCurrentDirectory.RemoveAt(index);
        for (int32_t i = index; i < m_saCurrentDirectory.GetArrLength(); ++i) {
            m_saCurrentDirectory[i].m_iPosition = i;
        }
        if (m_saCurrentDirectory.GetArrLength() == 0) {
            m_saCurrentDirectory.Append(CCurrentDirectoryEntry::Placeholder());
            m_bFolderEmpty = true;
            m_iCurrentIndex = 0;
            m_bHasCurrentItem = true;
            return;
        }
        m_iCurrentIndex = std::min(index, m_saCurrentDirectory.GetArrLength() - 1);
        m_bHasCurrentItem = true;
    }
}

bool CControlApplication::FillCurrentDirectory(int32_t start, int32_t end, int32_t current, bool retrieve,
                                               bool selectLast)
{
    ORIN_TRACE("CControlApplication::FillCurrentDirectory");
    if (start < 0 || end < 0 || end < start || (current >= 0 && (current < start || current > end))) {
        ORIN_LOG_ERROR("CControlApplication::FillCurrentDirectory", "Invalid window start %d end %d current %d",
                       start, end, current);
        return false;
    }
    m_bHasCurrentItem = false;
    if (!IsOnline()) {
        return FillFromLocalCache(current, selectLast);
    }
    return FillFromStorageModel(start, end, current, retrieve, selectLast);
}

bool CControlApplication::FillFromLocalCache(int32_t current, bool selectLast)
{
    ORIN_TRACE("CControlApplication::FillFromLocalCache");
    const char* fn = "CControlApplication::FillCurrentDirectory";
    std::u16string workingPath;
    if (!CConfiguration().ReadWorkingPath(workingPath) || workingPath.empty()) {
        workingPath = u"./Orin DM A/";
    }
    if (workingPath.back() != u'/') {
        workingPath += u'/';
    }
    m_strCurrentFolderPath = workingPath;
    std::u16string trimmed = workingPath;
    while (!trimmed.empty() && trimmed.back() == u'/') {
        trimmed.pop_back();
    }
    const size_t slash = trimmed.rfind(u'/');
    m_strCurrentFolderName = slash == std::u16string::npos ? trimmed : trimmed.substr(slash + 1);
    m_iSortCriterion = SORT_BY_NAME;

    // Collected first and placed in one allocation: growing the array picture by picture would
    // copy it over and over in a folder of thousands.
    std::vector<CCurrentDirectoryEntry> found;
    // The stored path comes from the registry: it only names a folder below the cache root, never
    // one it climbs out of.
    fs::path folder;
    if (storage::IsValidFullName(workingPath, false) && storage::DiskCacheOp::LocalFolderPath(workingPath, folder)) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), last; !ec && it != last; it.increment(ec)) {
            std::error_code statusError;
            if (!it->is_regular_file(statusError)) {
                continue;
            }
            CCurrentDirectoryEntry& entry = found.emplace_back();
            entry.m_strFolder = workingPath;
            entry.m_strName = platform::FromUtf8(it->path().filename().string());
            storage::TimeFields stamp{};
            if (storage::DiskCacheOp::ReadFileStamp(it->path(), stamp) && storage::TimeFieldsAreValid(stamp)) {
                entry.m_dtDate = CCurrentDirectoryEntry::ToOleDate(stamp[0], stamp[1], stamp[2], stamp[3], stamp[4],
                                                                    stamp[5]);
            }
        }
    } else {
        ORIN_LOG_WARNING(fn, "Working path %s is not a folder of the camera's disk", Utf8(workingPath).c_str());
    }
    m_saCurrentDirectory.Create(static_cast<int32_t>(found.size()), 50);
    std::move(found.begin(), found.end(), m_saCurrentDirectory.begin());
    ORIN_LOG_INFO(fn, "CControlApplication::FillCurrentDirectory() Number of images %d",
                  m_saCurrentDirectory.GetArrLength());
    if (ShowPlaceholderIfEmpty()) {
        return true;
    }
    SortCurrentDirectory(SORT_BY_NAME, true);
    const int32_t last = m_saCurrentDirectory.GetArrLength() - 1;
    m_iCurrentIndex = (selectLast || current < 0) ? last : std::min(current, last);
    m_bHasCurrentItem = true;
    return true;
}

bool CControlApplication::ShowPlaceholderIfEmpty()
{
    m_bFolderEmpty = m_saCurrentDirectory.GetArrLength() == 0;
    if (!m_bFolderEmpty) {
        return false;
    }
    m_saCurrentDirectory.Append(CCurrentDirectoryEntry::Placeholder());
    m_iCurrentIndex = 0;
    m_bHasCurrentItem = true;
    return true;
}

bool CControlApplication::FillFromStorageModel(int32_t start, int32_t end, int32_t current, bool retrieve,
                                               bool selectLast)
{
    ORIN_TRACE("CControlApplication::FillFromStorageModel");
    const char* fn = "CControlApplication::FillCurrentDirectory";
    CCache& cache = EnsureStorageModel();
    {
        auto modelLock = cache.LockModel();
        const CDOSDirectory* folder = cache.GetCurrentDirectory();
        if (folder == nullptr) {
            ORIN_LOG_ERROR(fn, "The storage model has no current folder");
            return false;
        }
        m_strCurrentFolderPath = folder->GetFullName();
        m_strCurrentFolderName = folder->GetName();
        const auto& children = folder->Children();
        const auto files = std::count_if(children.begin(), children.end(), [](const auto& c) { return c->IsFile(); });
        m_saCurrentDirectory.Create(static_cast<int32_t>(files), 50);
        int32_t i = 0;
        for (const auto& child : children) {
            if (!child->IsFile()) {
                continue;
            }
            CCurrentDirectoryEntry& entry = m_saCurrentDirectory[i];
            entry.m_strFolder = m_strCurrentFolderPath;
            entry.m_strName = child->GetName();
            entry.m_iPosition = i;
            entry.SetDateFromStamp(child->GetTimeStamp());
            entry.m_properties = SnapshotOf(static_cast<const CDOSFile*>(child.get())->Properties());
            ++i;
        }
    }
    CConfiguration().WriteWorkingPath(m_strCurrentFolderPath);
    ORIN_LOG_INFO(fn, "CControlApplication::FillCurrentDirectory() Number of images %d",
                  m_saCurrentDirectory.GetArrLength());
    if (ShowPlaceholderIfEmpty()) {
        return true;
    }
    SortCurrentDirectory(m_iSortCriterion, true);
    const int32_t last = m_saCurrentDirectory.GetArrLength() - 1;
    if (selectLast) {
        start = last;
        current = last;
    }
    start = std::min(start, last);
    current = std::min(current, last);
    end = std::clamp(end, start, last);
    if (retrieve && !GetImages(start, end, false)) {
        ORIN_LOG_INFO(fn, "GetImages failed");
        return false;
    }
    if (current >= 0) {
        m_iCurrentIndex = current;
        m_bHasCurrentItem = true;
        const CCurrentDirectoryEntry& entry = m_saCurrentDirectory[current];
        if (!SetStorageCurrentFile(entry.FullPath(), retrieve && entry.m_bDisplayable != 0)) {
            ORIN_LOG_ERROR(fn, "SetCurrentFile failed %s", Utf8(entry.FullPath()).c_str());
            return false;
        }
    }
    return true;
}

bool CControlApplication::SortCurrentDirectory(int32_t criterion, bool force)
{
    ORIN_TRACE("CControlApplication::SortCurrentDirectory");
    ORIN_LOG_INFO("CControlApplication::SortCurrentDirectory",
                  "CControlApplication::SortCurrentDirectory. Sorting criteria: %d", criterion);
    if (criterion == m_iSortCriterion && !force && !m_bForceSort) {
        return false;
    }
    // The current picture stays current whatever place the sort gives it.
    std::u16string currentPath;
    if (const CCurrentDirectoryEntry* entry = CurrentEntry()) {
        currentPath = entry->FullPath();
    }
    std::sort(m_saCurrentDirectory.begin(), m_saCurrentDirectory.end(),
              CDirectoryComparator(criterion, m_iSortCriterion));
    m_iSortCriterion = criterion;
    for (int32_t i = 0; i < m_saCurrentDirectory.GetArrLength(); ++i) {
        m_saCurrentDirectory[i].m_iPosition = i;
    }
    if (!currentPath.empty()) {
        const int32_t index = FindEntry(currentPath, false);
        if (index >= 0) {
            m_iCurrentIndex = index;
        }
    }
    m_bForceSort = false;
    return true;
}

int CControlApplication::ReadEntryProperties(int32_t index)
{
    ORIN_TRACE("CControlApplication::ReadEntryProperties");
    CCache& cache = EnsureStorageModel();
    auto modelLock = cache.LockModel();
    CCurrentDirectoryEntry& entry = m_saCurrentDirectory[index];
    CDOSObject* node = cache.Find(entry.FullPath(), false, false);
    if (node == nullptr) {
        return -1;
    }
    if (!node->IsFile()) {
        return CDOSFile::PROPERTIES_FETCHED;
    }
    auto* file = static_cast<CDOSFile*>(node);
    if (!entry.SetDateFromStamp(file->GetTimeStamp())) {
        ORIN_LOG_WARNING("CControlApplication::GetImages", "Unreadable time stamp %s of %s",
                         Utf8(file->GetTimeStamp()).c_str(), Utf8(entry.FullPath()).c_str());
    }
    CPictureProperties* record = nullptr;
    const int result = file->GetProperties(cache.GetProtocol(), record);
    if (result == CDOSFile::PROPERTIES_NOT_SAVED) {
        entry.m_bDisplayable = 0;
    } else if (record != nullptr) {
        entry.m_properties = *record;
    }
    return result;
}

bool CControlApplication::GetImages(int32_t first, int32_t last, bool select)
{
    ORIN_TRACE("CControlApplication::GetImages");
    const char* fn = "CControlApplication::GetImages";
    const int32_t length = m_saCurrentDirectory.GetArrLength();
    if (first < 0 || last < 0 || last < first || length == 0 || first >= length) {
        ORIN_LOG_ERROR(fn, "CControlApplication::GetImages Invalid parameters: iStart: %d, iEnd: %d", first, last);
        ORIN_LOG_INFO(fn, "CControlApplication::GetImages m_saCurrentDirectory.GetArrLength(): %d", length);
        return false;
    }
    ORIN_LOG_INFO(fn, "CControlApplication::GetImages iStart: %d, iEnd: %d", first, last);
    ORIN_LOG_INFO(fn, "CControlApplication::GetImages m_saCurrentDirectory.GetArrLength(): %d", length);
    if ((first == 0 && m_saCurrentDirectory[0].IsPlaceholder()) || !IsOnline()) {
        return true;
    }
    for (int32_t i = first; i <= last && i < m_saCurrentDirectory.GetArrLength(); ++i) {
        const int result = ReadEntryProperties(i);
        if (result < 0) {
            ORIN_LOG_ERROR(fn, "No node for %s", Utf8(m_saCurrentDirectory[i].FullPath()).c_str());
            return false;
        }
        if (select && result != CDOSFile::PROPERTIES_NOT_SAVED) {
            SetStorageCurrentFile(m_saCurrentDirectory[i].FullPath(), false);
        }
    }
    return true;
}

void CControlApplication::SetCurrentImage(int32_t index)
{
    ORIN_TRACE("CControlApplication::SetCurrentImage");
    if (!m_saCurrentDirectory.IsValidIndex(index)) {
        ORIN_LOG_ERROR("CControlApplication::SetCurrentImage", "Invalid index %d", index);
        return;
    }
    if (!GetImages(index, index, false)) {
        ORIN_LOG_ERROR("CControlApplication::SetCurrentImage", "GetImages failed");
    }
    m_iCurrentIndex = index;
    m_bHasCurrentItem = true;
    if (IsOnline() && !SetStorageCurrentFile(m_saCurrentDirectory[index].FullPath(), false)) {
        ORIN_LOG_ERROR("CControlApplication::SetCurrentImage", "SetCurrentFile failed");
    }
}

bool CControlApplication::AddToCurrentDirectory(const std::u16string& fileFullName)
{
    ORIN_TRACE("CControlApplication::AddToCurrentDirectory");
    if (!IsOnline()) {
        return false;
    }
    CCache& cache = EnsureStorageModel();
    auto modelLock = cache.LockModel();
    CDOSObject* node = cache.FindInTree(fileFullName);
    if (node == nullptr || !node->IsFile()) {
        ORIN_LOG_ERROR("CControlApplication::AddToCurrentDirectory", "No file node %s", Utf8(fileFullName).c_str());
        return false;
    }
    const auto* file = static_cast<const CDOSFile*>(node);
    const int32_t existing = FindEntry(fileFullName, false);
    if (existing >= 0) {
        CCurrentDirectoryEntry& entry = m_saCurrentDirectory[existing];
        entry.m_properties = SnapshotOf(file->Properties());
        entry.m_bDisplayable = 1;
        return true;
    }
    CCurrentDirectoryEntry entry;
    std::u16string folder;
    std::u16string name;
    storage::SplitFullObjName(fileFullName, folder, name);
    entry.m_strFolder = folder + u"/";
    entry.m_strName = name;
    entry.SetDateFromStamp(file->GetTimeStamp());
    entry.m_properties = SnapshotOf(file->Properties());
    if (m_bFolderEmpty && m_saCurrentDirectory.GetArrLength() > 0) {
        m_saCurrentDirectory[0] = std::move(entry);
        m_saCurrentDirectory.SetLength(1);
        m_bFolderEmpty = false;
    } else {
        m_saCurrentDirectory.Append(std::move(entry));
    }
    SortCurrentDirectory(m_iSortCriterion, true);
    return true;
}

void CControlApplication::ProcessNewPicture(const std::u16string& fileFullName)
{
    ORIN_TRACE("CControlApplication::ProcessNewPicture");
    const char* fn = "CControlApplication::ProcessNewPicture";
    std::lock_guard pendingLock(m_pendingLock);
    m_bHasCurrentItem = false;

    SimpleArray<CCurrentDirectoryEntry> kept(0, 10);
    for (const CCurrentDirectoryEntry& pending : m_saPending) {
        if (FindEntry(pending.FullPath(), true) < 0) {
            ORIN_LOG_INFO(fn, "CControlApplication::ProcessNewPicture itemInYesState added %s",
                          Utf8(pending.FullPath()).c_str());
            kept.Append(pending);
        }
    }
    m_saPending = std::move(kept);

    CCache* cache = m_pCache.get();
    std::unique_lock<std::recursive_mutex> modelLock;
    if (cache != nullptr) {
        modelLock = cache->LockModel();
    }
    bool found = false;
    for (int32_t i = 0; i < m_saCurrentDirectory.GetArrLength(); ++i) {
        CCurrentDirectoryEntry& entry = m_saCurrentDirectory[i];
        const std::u16string path = entry.FullPath();
        const CDOSObject* node = cache != nullptr ? cache->FindInTree(path) : nullptr;
        const CDOSFile* file = node != nullptr && node->IsFile() ? static_cast<const CDOSFile*>(node) : nullptr;
        if (!found && EqualsNoCase(path, fileFullName)) {
            found = true;
            ORIN_LOG_INFO(fn, "New file found in folder");
            if (file != nullptr) {
                entry.m_properties = SnapshotOf(file->Properties());
            }
            m_iCurrentIndex = i;
            m_bHasCurrentItem = true;
            if (!SetStorageCurrentFile(path, false)) {
                ORIN_LOG_ERROR(fn, "SetCurrentFile failed");
            }
        }
        // A picture is waiting while the camera still calls it new and its preview is not here.
        if (entry.Properties().m_nNewPicture != NEW_PICTURE_NO && !entry.IsPlaceholder() &&
            (file == nullptr || !file->IsCached())) {
            ORIN_LOG_INFO(fn, "CControlApplication::ProcessNewPicture itemInYesState added %s", Utf8(path).c_str());
            m_saPending.Append(entry);
        }
    }
    ORIN_LOG_INFO(fn, "CControlApplication::ProcessNewPicture(CDOSFile* pFileImage) Numbers of images in burst array: %i",
                  m_saPending.GetArrLength());
}
