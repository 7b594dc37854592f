#include "app/storage/DOSFile.h"

#include <algorithm>
#include <system_error>

#include "app/link/ProtocolLayer.h"
#include "app/platform/Log.h"
#include "app/platform/Registry.h"
#include "app/storage/Cache.h"
#include "app/storage/DiskCacheOp.h"
#include "app/storage/ObjectNames.h"
#include "app/storage/WideText.h"

namespace fs = std::filesystem;
using storage::ToUtf8;

namespace {

constexpr size_t kFileMemoryOverhead = 160;
constexpr uint32_t kDefaultDiskMaxSpace = 80;
constexpr uint32_t kDefaultDiskMinSpace = 70;

// The free-space bounds, read at each save so a change in the settings applies at once.
void ReadDiskBounds(int& minPercent, int& maxPercent)
{
    const platform::Registry registry = platform::DefaultRegistry();
    uint32_t maxValue = registry.ReadDword(platform::RegistryRoot::LocalMachine, platform::kOrinRootKey, "DiskMaxSpace")
                            .value_or(kDefaultDiskMaxSpace);
    uint32_t minValue = registry.ReadDword(platform::RegistryRoot::LocalMachine, platform::kOrinRootKey, "DiskMinSpace")
                            .value_or(kDefaultDiskMinSpace);
    if (maxValue > 100) {
        ORIN_LOG_WARNING("CDOSFile::SaveLastFile", "Invalid entry found: %s%s\\%s: %d!", platform::kOrinRootKey, "",
                         "DiskMaxSpace", static_cast<int>(maxValue));
        maxValue = kDefaultDiskMaxSpace;
    }
    if (minValue > maxValue) {
        ORIN_LOG_WARNING("CDOSFile::SaveLastFile", "Invalid entry found: %s%s\\%s: %d!", platform::kOrinRootKey, "",
                         "DiskMinSpace", static_cast<int>(minValue));
        minValue = std::min(kDefaultDiskMinSpace, maxValue);
    }
    minPercent = static_cast<int>(minValue);
    maxPercent = static_cast<int>(maxValue);
}

}  // namespace

CDOSFile::CDOSFile(std::u16string_view name, CCache* owner)
    : CDOSObject(DOS_FILE, name, owner), m_pProperties(std::make_unique<CPictureProperties>())
{
}

bool CDOSFile::LocalPreviewPath(bool processed, fs::path& out) const
{
    ORIN_TRACE("CDOSFile::LocalPreviewPath");
    return storage::DiskCacheOp::LocalPreviewPath(GetFullName(), processed, out);
}

bool CDOSFile::LocalPreviewPath(fs::path& out) const
{
    ORIN_TRACE("CDOSFile::LocalPreviewPath");
    return LocalPreviewPath(m_bProcessedView, out);
}

bool CDOSFile::IsCached() const
{
    ORIN_TRACE("CDOSFile::IsCached");
    fs::path preview;
    if (!LocalPreviewPath(preview)) {
        return false;
    }
    std::error_code ec;
    return fs::is_regular_file(preview, ec);
}

void CDOSFile::SetCached(bool cached)
{
    ORIN_TRACE("CDOSFile::SetCached");
    m_bCached = cached;
    if (!cached) {
        // Both kinds go: the processed-view flag may name one while the other is on disk, and
        // whatever stays would be shown for a later picture of the same name.
        std::lock_guard<std::recursive_mutex> lock(storage::DiskCacheOp::CacheLock());
        for (const bool processed : {false, true}) {
            fs::path preview;
            if (LocalPreviewPath(processed, preview)) {
                storage::DiskCacheOp::DeleteLocalFile(preview);
            }
        }
    }
}

void CDOSFile::SetDateTime(const std::u16string& timestamp)
{
    ORIN_TRACE("CDOSFile::SetDateTime");
    if (timestamp.empty()) {
        ORIN_LOG_ERROR("CDOSFile::SetDateTime()", "Parameter incorrect");
        return;
    }
    m_strTimeStamp = timestamp;
    std::lock_guard<std::recursive_mutex> lock(storage::DiskCacheOp::CacheLock());
    fs::path preview;
    std::error_code ec;
    if (!LocalPreviewPath(false, preview) || !fs::is_regular_file(preview, ec)) {
        return;
    }
    storage::TimeFields fields{};
    const int read = storage::ParseTimeStamp(timestamp, fields);
    if (read < 6) {
        ORIN_LOG_ERROR("CDOSFile::SetDateTime", "CDOSFile::SetDateTime() Failed to parse time stamp %s, %d",
                       preview.c_str(), read);
        return;
    }
    if (storage::DiskCacheOp::StampFile(preview, timestamp)) {
        ORIN_LOG_INFO("CDOSFile::SetDateTime", "CDOSFile::SetDateTime() succeeded File: %s, Time: %s", preview.c_str(),
                      ToUtf8(timestamp).c_str());
    } else {
        ORIN_LOG_ERROR("CDOSFile::SetDateTime", "CDOSFile::SetDateTime() failed File: %s, Time: %s", preview.c_str(),
                       ToUtf8(timestamp).c_str());
    }
}

bool CDOSFile::Cache(CProtocolLayer* protocol, bool load, bool force)
{
    ORIN_TRACE("CDOSFile::Cache");
    if (protocol == nullptr) {
        return false;
    }
    std::lock_guard<std::recursive_mutex> lock(storage::DiskCacheOp::CacheLock());
    const bool processed = force || m_pProperties->m_bZoom || m_pProperties->m_bAlarmWhite ||
                           m_pProperties->m_bAlarmDark;
    fs::path plain;
    std::error_code ec;
    if (!processed && LocalPreviewPath(false, plain) && fs::is_regular_file(plain, ec)) {
        return true;
    }
    if (!processed && !(load && !IsCached())) {
        return false;
    }
    AttributeList attributes{{u"file_name", GetFullName()}};
    ProtocolCommand answer;
    std::u16string errorText;
    if (!protocol->GetImage(answer, attributes, errorText)) {
        ORIN_LOG_ERROR("CDOSFile::Cache", "CDOSFile::Cache GetImage failed Error: %s", ToUtf8(errorText).c_str());
        return false;
    }
    const bool remember = protocol->GetDecompress();
    if (!SaveLastFile(answer.attachment, processed, remember)) {
        // Reported: a preview that is not on disk must not be taken for one that is.
        ORIN_LOG_ERROR("CDOSFile::Cache", "SaveLastFile failed");
        return false;
    }
    if (!processed) {
        m_bCached = true;
    }
    m_bProcessedView = processed;
    return true;
}

bool CDOSFile::SaveLastFile(const std::vector<uint8_t>& image, bool processed, bool remember)
{
    ORIN_TRACE("CDOSFile::SaveLastFile");
    std::lock_guard<std::recursive_mutex> lock(storage::DiskCacheOp::CacheLock());
    std::u16string folder;
    std::u16string name;
    if (!storage::SplitFullObjName(GetFullName(), folder, name)) {
        ORIN_LOG_ERROR("CDOSFile::SaveLastFile", "Can't create Last Orin Captures directory %s",
                       ToUtf8(GetFullName()).c_str());
        return false;
    }
    if (!storage::DiskCacheOp::CreateLocalFolderTree(folder)) {
        return false;  // logged there, with the folder it could not make
    }
    int minPercent = 0;
    int maxPercent = 0;
    ReadDiskBounds(minPercent, maxPercent);
    storage::IVolumeMeter& meter = m_pOwner != nullptr ? m_pOwner->GetVolumeMeter() : storage::DefaultVolumeMeter();
    storage::DiskCacheOp::CacheFreeSpace(minPercent, maxPercent, meter);

    fs::path target;
    fs::path stale;
    if (!LocalPreviewPath(processed, target) || !LocalPreviewPath(!processed, stale)) {
        ORIN_LOG_ERROR("CDOSFile::SaveLastFile", "Failed to create a file to save %s", ToUtf8(GetFullName()).c_str());
        return false;
    }
    // The writer logs what failed (the create or a write) where it knows which.
    if (!storage::DiskCacheOp::WriteFileAtomically(target, image.data(), image.size())) {
        return false;
    }
    if (!processed) {
        SetDateTime(m_strTimeStamp);
    }
    storage::DiskCacheOp::DeleteLocalFile(stale);
    if (remember && m_pOwner != nullptr) {
        m_pOwner->NotifyLastPicture(target);
    }
    return true;
}

bool CDOSFile::AddChild(std::unique_ptr<CDOSObject> /*node*/)
{
    ORIN_TRACE("CDOSFile::AddChild");
    return false;
}

std::unique_ptr<CDOSObject> CDOSFile::Clone() const
{
    ORIN_TRACE("CDOSFile::Clone");
    return std::make_unique<CDOSFile>(m_strName, m_pOwner);
}

size_t CDOSFile::MemoryEstimate() const
{
    ORIN_TRACE("CDOSFile::MemoryEstimate");
    const CPictureProperties& p = *m_pProperties;
    const size_t chars = m_strName.size() + m_strTimeStamp.size() + p.m_strFrame.size() + p.m_strToning.size() +
                         p.m_strLight.size() + p.m_strFstop.size() + p.m_strHistogramValue.size() +
                         p.m_strHistogram.size() + p.m_strWhiteValue.size() + p.m_strDarkValue.size() +
                         p.m_strAverage.size() + p.m_strAnnotation.size();
    return chars * sizeof(char16_t) + kFileMemoryOverhead;
}

int CDOSFile::CacheProperties(CProtocolLayer* protocol)
{
    ORIN_TRACE("CDOSFile::CacheProperties");
    if (protocol == nullptr) {
        return PROPERTIES_FAILED;
    }
    const std::u16string fullName = GetFullName();
    const AttributeList attributes{{u"file_name", fullName}};
    ProtocolCommand answer;
    std::u16string errorText;
    if (!protocol->GetPictureParams(answer, attributes, errorText)) {
        // The camera answers a picture it has not saved with its storage error 8179; the answer
        // fails in the link like any error answer, and the code tells this case apart.
        const std::u16string* code = answer.FindAttribute(u"error");
        if (code != nullptr && *code == kNotSavedCode) {
            SetCached(false);
            const std::u16string text = u"The file " + storage::DisplayForm(fullName) +
                                        u" is not saved. Reset the Orin Digital Camera Back.";
            ORIN_LOG_WARNING("CDOSFile::CacheProperties", "%s", ToUtf8(text).c_str());
            if (m_pOwner != nullptr) {
                m_pOwner->ShowUserMessage(text, CCache::MessageIcon::Exclamation);
            }
            return PROPERTIES_NOT_SAVED;
        }
        ORIN_LOG_ERROR("CDOSFile::CacheProperties", "CDOSFile::CacheProperties GetPictureParams failed Error: %s",
                       ToUtf8(errorText).c_str());
        return PROPERTIES_FAILED;
    }
    for (const AttributePair& pair : answer.attributes) {
        const std::u16string value = pair.value.value_or(std::u16string());
        switch (m_pProperties->ApplyAttribute(pair.name, value)) {
        case CPictureProperties::Effect::DateTime:
            SetDateTime(value);
            break;
        case CPictureProperties::Effect::ProcessedView:
            m_bProcessedView = true;
            break;
        case CPictureProperties::Effect::None:
            break;
        }
    }
    return PROPERTIES_FETCHED;
}

int CDOSFile::GetProperties(CProtocolLayer* protocol, CPictureProperties*& record)
{
    ORIN_TRACE("CDOSFile::GetProperties");
    record = m_pProperties.get();
    if (m_pProperties->m_bLoaded && m_pProperties->m_nNewPicture == NEW_PICTURE_NO) {
        return PROPERTIES_FETCHED;
    }
    const int result = CacheProperties(protocol);
    if (result == PROPERTIES_FETCHED) {
        m_pProperties->m_bLoaded = true;
    }
    return result;
}
