// Synchronisation with the camera: its Sync message becomes the parameter lists, the shoot
// setups, the shooting folder and the status fields; then the camera's clock is set.
#include "app/controller/ControlApplication.h"

#include "app/controller/CameraMessage.h"
#include "app/link/ProtocolCommand.h"
#include "app/link/TagText.h"
#include "app/platform/Log.h"
#include "app/platform/Registry.h"
#include "app/platform/TextConvert.h"
#include "app/storage/Cache.h"
#include "app/storage/DiskCacheOp.h"
#include "app/storage/ObjectNames.h"

#include <algorithm>
#include <limits>

namespace {

constexpr const char* kFn = "CControlApplication::OnSynchronize";
constexpr size_t kMaxRegistryChars = 260;

struct StringListAttribute {
    const char16_t* name;
    SimpleArray<std::u16string> CCameraParameterLists::*list;
    const char* failure;
};

const StringListAttribute kStringLists[] = {
    {u"ISO", &CCameraParameterLists::m_saISO, "incorrect ISO - FillComBSTRArr() failed"},
    {u"ImageQuality", &CCameraParameterLists::m_saImageQuality, "incorrect ImageQuality - FillComBSTRArr() failed"},
    {u"Toning", &CCameraParameterLists::m_saToning, "incorrect Toning - FillComBSTRArr() failed"},
    {u"Light", &CCameraParameterLists::m_saLight, "incorrect Light - FillComBSTRArr() failed"},
    {u"SharpTable", &CCameraParameterLists::m_saSharpTable, "incorrect SharpTable - FillComBSTRArr() failed"},
    {u"InputProfile", &CCameraParameterLists::m_saInputProfile, "incorrect InputProfile - FillComBSTRArr() failed"},
    {u"OutputProfile", &CCameraParameterLists::m_saOutputProfile,
     "incorrect OutputProfile - FillComBSTRArr() failed"},
    {u"CameraType", &CCameraParameterLists::m_saCameraType, "incorrect CameraType - FillComBSTRArr() failed"},
};

}  // namespace

bool CControlApplication::OnSynchronize(const platform::MessagePayload* payload)
{
    ORIN_TRACE("CControlApplication::OnSynchronize");
    const ProtocolCommand* message = CameraMessageOf(payload);
    if (message == nullptr) {
        ORIN_LOG_ERROR(kFn, "Sync message missing");
        return false;
    }
    InitViews();
    m_iSuspended = 0;
    m_parameterLists.ResetForSync();
    m_shootSetups.Clear();

    bool diskChanged = false;
    std::u16string diskId;
    bool result = ReadSyncAttributes(*message, diskChanged, diskId);

    CCameraParameterLists& lists = m_parameterLists;
    lists.m_bCameraTypesAvailable = lists.m_saCameraType.GetArrLength() > 0;
    if (lists.m_saOutputProfile.GetArrLength() == 0 || lists.m_saInputProfile.GetArrLength() == 0) {
        for (CShootSetup& setup : m_shootSetups.List()) {
            setup.Set(CShootSetup::ICC_FLAG, u"0");
        }
    } else {
        lists.m_bProfilesAvailable = true;
    }
    ORIN_LOG_INFO(kFn, "CControlApplication::OnSynchronize(). bResult = %s", result ? "true" : "false");

    if (result) {
        if (diskChanged) {
            // Another disk: previews cached under the old one's folder names would show other pictures.
            if (storage::DiskCacheOp::ClearLocalCache()) {
                // Stored only now: were it stored before the cache was emptied, a failed first sync
                // would leave the old disk's previews under the new disk's identity for good.
                if (!platform::DefaultRegistry().WriteString(platform::RegistryRoot::LocalMachine,
                                                             platform::kOrinRootKey, "DiskID",
                                                             platform::ToUtf8(diskId))) {
                    ORIN_LOG_ERROR(kFn, "Failed to store DiskID");
                }
            } else {
                ORIN_LOG_ERROR(kFn, "Failed to empty the local captures folder; DiskID kept");
            }
        }
        if (const CShootSetup* setup = m_shootSetups.DefaultSetup()) {
            m_strShootingFolder = setup->ShootingFolder();
        }
        if (!m_strShootingFolder.empty()) {
            m_shootSetups.FillEmptyShootingFolders(m_strShootingFolder);
            CCache& cache = EnsureStorageModel();
            cache.Clear();
            m_saCurrentDirectory.Create(0, 1);
            m_bHasCurrentItem = false;
            m_iCurrentIndex = -1;
            result = cache.Init(m_strShootingFolder);
            if (result) {
                if (!FillCurrentDirectory(0, 0, -1, true, true)) {
                    ORIN_LOG_ERROR(kFn, "Failed to fill current directory");
                }
                ReselectDisplayable();
            }
        } else {
            result = false;
        }
    }

    SetCameraClock();

    lists.FillDefaults();
    if (m_shootSetups.DefaultName().empty()) {
        m_shootSetups.SetDefaultName(u"Default");
    }
    m_shootSetups.AddDefaultSetupIfEmpty();
    m_diskThresholds.assign(lists.m_saDiskThresholds.begin(), lists.m_saDiskThresholds.end());
    return result;
}

bool CControlApplication::ReadSyncAttributes(const ProtocolCommand& message, bool& diskChanged, std::u16string& diskId)
{
    ORIN_TRACE("CControlApplication::ReadSyncAttributes");
    CCameraParameterLists& lists = m_parameterLists;
    bool result = true;
    for (const AttributePair& attribute : message.attributes) {
        const std::u16string& name = attribute.name;
        const std::u16string value = attribute.value.value_or(std::u16string());
        const auto is = [&name](std::u16string_view candidate) { return EqualsNoCase(name, candidate); };

        if (is(u"battery_percent") || is(u"battery_time") || is(u"exp_left") || is(u"max_exp")) {
            if (!value.empty()) {
                int32_t& field = is(u"battery_percent") ? m_status.batteryPercent
                                 : is(u"battery_time")  ? m_status.batteryTime
                                 : is(u"exp_left")      ? m_status.exposuresLeft
                                                        : m_status.maxExposures;
                field = DecimalValue32(value);
            }
            continue;
        }
        const StringListAttribute* stringList = nullptr;
        for (const StringListAttribute& candidate : kStringLists) {
            if (is(candidate.name)) {
                stringList = &candidate;
            }
        }
        if (stringList != nullptr) {
            result = CCameraParameterLists::FillComBSTRArr(value, lists.*(stringList->list), u";");
            if (!result) {
                ORIN_LOG_ERROR(kFn, "%s", stringList->failure);
                return false;
            }
        } else if (is(u"Color") || is(u"Orientation")) {
            const bool color = is(u"Color");
            if (!CCameraParameterLists::FillEnumArr(value, color ? lists.m_saColor : lists.m_saOrientation,
                                                    color ? kColorTable : kOrientationTable,
                                                    color ? kColorTableSize : kOrientationTableSize)) {
                ORIN_LOG_ERROR(kFn, color ? "incorrect Color - FillEnumArr() failed"
                                          : "incorrect Orientation - FillEnumArr() failed");
                return result;
            }
        } else if (is(u"DefaultColor")) {
            const int32_t index = CCameraParameterLists::EnumIndex(value, kColorTable, kColorTableSize);
            if (index >= 0) {
                lists.m_iDefaultColor = index;
            }
        } else if (is(u"DefaultOrientation")) {
            const int32_t index = CCameraParameterLists::EnumIndex(value, kOrientationTable, kOrientationTableSize);
            if (index >= 0) {
                lists.m_iDefaultOrientation = index;
            }
        } else if (is(u"Framing")) {
            result = lists.FillFraming(value);
            if (!result) {
                ORIN_LOG_ERROR(kFn, "incorrect Framing - FillFraming() failed");
            }
        } else if (is(u"Disk_threshold_list") || is(u"Histogram_scale")) {
            const bool disk = is(u"Disk_threshold_list");
            result = CCameraParameterLists::FillIntArr(value, disk ? lists.m_saDiskThresholds : lists.m_saHistogramScale);
            if (!result) {
                ORIN_LOG_ERROR(kFn, disk ? "incorrect Disk_threshold_list - FillIntArr() failed"
                                         : "incorrect Histogram_scale - FillIntArr() failed");
                return false;
            }
        } else if (is(u"DiskID")) {
            std::u16string stored;
            if (auto text = platform::DefaultRegistry().ReadString(platform::RegistryRoot::LocalMachine,
                                                                   platform::kOrinRootKey, "DiskID")) {
                stored = platform::FromUtf8(*text).substr(0, kMaxRegistryChars);
            }
            const std::u16string received = value.substr(0, kMaxRegistryChars);
            if (!EqualsNoCase(stored, received)) {
                diskChanged = true;
                diskId = received;
            }
        } else if (is(u"PictureDimensions")) {
            lists.SetPictureDimensions(value);
        } else if (is(u"DefaultShootSetup")) {
            m_shootSetups.SetDefaultName(value);
        } else if (is(u"ShootSetup")) {
            m_shootSetups.Parse(value);
            if (!result) {
                return false;
            }
        } else if (is(u"dcb_version")) {
            lists.SetDcbVersion(value);
        }
    }
    return result;
}

void CControlApplication::SetCameraClock()
{
    ORIN_TRACE("CControlApplication::SetCameraClock");
    const std::vector<std::u16string> names{u"CurrentTime"};
    const std::vector<std::u16string> values{storage::CurrentTimeStamp()};
    std::u16string error;
    if (!EnsureStorageModel().SetCameraParam(&names, &values, 1, error)) {
        ORIN_LOG_ERROR(kFn, "Failed to set time on Orin Tessa");
    }
}
