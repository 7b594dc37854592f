// New pictures announced by the camera, and browsing the current directory one picture at a time.
#include "app/controller/ControlApplication.h"

#include "app/controller/CameraMessage.h"
#include "app/link/ProtocolCommand.h"
#include "app/link/TagText.h"
#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"
#include "app/storage/Cache.h"
#include "app/storage/ObjectNames.h"

#include <algorithm>
#include <limits>

namespace {

constexpr const char* kFn = "CControlApplication::OnPictureTaken";

std::string Utf8(std::u16string_view text) { return platform::ToUtf8(text); }

}  // namespace

bool CControlApplication::OnPictureTaken(const platform::MessagePayload* payload, bool& checkDisk,
                                         bool& newPictureShown)
{
    ORIN_TRACE("CControlApplication::OnPictureTaken");
    checkDisk = false;
    newPictureShown = true;
    const ProtocolCommand* message = CameraMessageOf(payload);
    if (message == nullptr) {
        ORIN_LOG_ERROR(kFn, "Picture-taken message missing");
        return false;
    }
    bool result = false;
    bool fileHandled = false;
    std::u16string fileFullName;
    for (const AttributePair& attribute : message->attributes) {
        const std::u16string value = attribute.value.value_or(std::u16string());
        if (EqualsNoCase(attribute.name, u"error_code")) {
            std::u16string text;
            ErrorCodeToText(value, text);
            ShowMessage(text, ICON_EXCLAMATION);
            return true;
        }
        if (EqualsNoCase(attribute.name, u"file_name")) {
            result = HandlePictureFileName(value, newPictureShown, fileFullName);
            fileHandled = result;
            if (!result) {
                return false;
            }
        } else if (EqualsNoCase(attribute.name, u"battery_percent")) {
            if (fileHandled) {
                m_status.batteryPercent = DecimalValue32(value);
            }
        } else if (EqualsNoCase(attribute.name, u"exp_left")) {
            if (fileHandled) {
                m_status.exposuresLeft = DecimalValue32(value);
                checkDisk = true;
            }
        } else if (EqualsNoCase(attribute.name, u"Date")) {
            if (!fileFullName.empty() && m_pCache) {
                {
                    auto modelLock = m_pCache->LockModel();
                    CDOSObject* node = m_pCache->FindInTree(fileFullName);
                    if (node == nullptr) {
                        continue;
                    }
                    node->SetDateTime(value);
                    const int32_t index = FindEntry(fileFullName, true, true);
                    if (index >= 0) {
                        m_saCurrentDirectory[index].SetDateFromStamp(value);
                    }
                }
                // An older picture of a burst is not shown: the picture on the screen stays the
                // current one instead of a picture whose preview was never fetched.
                if (newPictureShown) {
                    ProcessNewPicture(fileFullName);
                }
            }
        }
    }
    return result;
}

bool CControlApplication::HandlePictureFileName(const std::u16string& fileName, bool& showPicture,
                                                std::u16string& fileFullName)
{
    ORIN_TRACE("CControlApplication::HandlePictureFileName");
    CCache& cache = EnsureStorageModel();
    // Every folder level the model lacks is created first, so the new file has a place.
    const std::vector<std::u16string> parts = storage::SplitComponents(fileName);
    if (parts.size() >= 2 && parts.front() == u".") {
        std::u16string prefix = u"./";
        for (size_t i = 1; i + 1 < parts.size(); ++i) {
            prefix += parts[i] + u"/";
            if (cache.FindInTree(prefix) == nullptr && !cache.Add(prefix, false)) {
                ORIN_LOG_WARNING(kFn, "Cannot add folder %s to the model", Utf8(prefix).c_str());
                break;
            }
        }
    }
    CDOSObject* node = nullptr;
    if (!cache.Add(fileName, true, &node) || node == nullptr || !node->IsFile()) {
        ORIN_LOG_ERROR(kFn, "Cannot add picture %s to the model", Utf8(fileName).c_str());
        return false;
    }
    std::u16string folder;
    {
        auto modelLock = cache.LockModel();
        node = cache.FindInTree(fileName);
        if (node == nullptr || !node->IsFile()) {
            ORIN_LOG_ERROR(kFn, "Picture %s vanished from the model", Utf8(fileName).c_str());
            return false;
        }
        auto* file = static_cast<CDOSFile*>(node);
        fileFullName = file->GetFullName();
        // A name the camera reuses (after a format) must not show the old picture's preview.
        file->SetCached(false);
        file->SetProcessedView(false);
        file->Properties().m_nNewPicture = NEW_PICTURE_YES;
        file->Properties().m_bLoaded = false;
        folder = file->GetParent() != nullptr ? file->GetParent()->GetFullName() : std::u16string();
    }
    const int32_t setupIndex = m_shootSetups.Find(m_shootSetups.DefaultName(), true);
    if (setupIndex >= 0) {
        m_shootSetups.List()[setupIndex].Set(CShootSetup::SHOOTING_FOLDER, folder);
    }
    m_strShootingFolder = folder;

    if (folder == m_strCurrentFolderPath && m_saCurrentDirectory.GetArrLength() > 0) {
        if (!AddToCurrentDirectory(fileFullName)) {
            ORIN_LOG_ERROR(kFn, "Error in AddToCurrentDirectory()");
            return false;
        }
    } else {
        if (!cache.SetCurrentDirectory(folder) || !FillCurrentDirectory(0, 0, -1, false, false)) {
            ORIN_LOG_ERROR(kFn, "Failed to fill current directory");
            return false;
        }
        if (CurrentEntry() == nullptr && m_saCurrentDirectory.GetArrLength() > 0) {
            m_iCurrentIndex = m_saCurrentDirectory.GetArrLength() - 1;
            m_bHasCurrentItem = true;
        }
    }

    if (fileName != NewestPicture()) {
        showPicture = false;
        ORIN_LOG_INFO(kFn, "CControlApplication::OnPictureTaken() Image downloading was skiped due to burst mode: %s",
                      Utf8(fileName).c_str());
        // Recorded in the model and the directory; the picture-taken message of the newest picture
        // that follows lists it among those still waiting for their preview.
        return true;
    }
    CPictureProperties properties;
    const int fetched = [&] {
        auto modelLock = cache.LockModel();
        CDOSObject* fileNode = cache.FindInTree(fileFullName);
        if (fileNode == nullptr || !fileNode->IsFile()) {
            return -1;
        }
        CPictureProperties* record = nullptr;
        return static_cast<CDOSFile*>(fileNode)->GetProperties(cache.GetProtocol(), record);
    }();
    if (fetched == CDOSFile::PROPERTIES_NOT_SAVED) {
        const int32_t index = FindEntry(fileFullName, true, true);
        if (index >= 0) {
            m_saCurrentDirectory[index].m_bDisplayable = 0;
            m_iCurrentIndex = index;
            m_bHasCurrentItem = true;
        }
        ReselectDisplayable();
        return true;
    }
    if (!cache.CachePicture(fileFullName, false)) {
        ORIN_LOG_ERROR(kFn, "Failed to cache the image");
        return false;
    }
    ProcessNewPicture(fileFullName);
    return true;
}

bool CControlApplication::BrowseForward()
{
    ORIN_TRACE("CControlApplication::BrowseForward");
    return Browse(+1);
}

bool CControlApplication::BrowseBack()
{
    ORIN_TRACE("CControlApplication::BrowseBack");
    return Browse(-1);
}

bool CControlApplication::Browse(int step)
{
    ORIN_TRACE("CControlApplication::Browse");
    const char* fn = step > 0 ? "CControlApplication::BrowseForward" : "CControlApplication::BrowseBack";
    for (ViewId zoomed : {ViewId::Exposure, ViewId::LightAndColor, ViewId::Framing}) {
        if (IViewProcessor* view = View(zoomed)) {
            view->ResetZoom();
        }
    }
    const int32_t length = m_saCurrentDirectory.GetArrLength();
    if (length == 0) {
        return false;
    }
    const int32_t start = m_bHasCurrentItem ? std::clamp(m_iCurrentIndex, 0, length - 1) : (step > 0 ? -1 : length);
    const bool online = IsOnline();
    // Pictures the camera cannot show are stepped over; at the end of the folder the picture
    // that was current stays current.
    int32_t index = start;
    for (;;) {
        const int32_t next = index + step;
        if (next < 0 || next >= length) {
            index = std::clamp(start, 0, length - 1);
            break;
        }
        index = next;
        CCurrentDirectoryEntry& entry = m_saCurrentDirectory[index];
        if (entry.m_bDisplayable == 0) {
            continue;
        }
        if (!online || entry.IsPlaceholder()) {
            break;
        }
        const bool needsRead = !entry.m_properties || !entry.m_properties->m_bLoaded ||
                               entry.m_properties->m_nNewPicture != NEW_PICTURE_NO;
        if (!needsRead) {
            if (m_pCache->FindInTree(entry.FullPath()) == nullptr) {
                ORIN_LOG_ERROR(fn, "No node for %s", Utf8(entry.FullPath()).c_str());
                ShowMessage(u"Failed to retrieve the image.", ICON_STOP);
                return false;
            }
            break;
        }
        const int result = ReadEntryProperties(index);
        if (result < 0) {
            ORIN_LOG_ERROR(fn, "No node for %s", Utf8(entry.FullPath()).c_str());
            ShowMessage(u"Failed to retrieve the image.", ICON_STOP);
            return false;
        }
        if (result != CDOSFile::PROPERTIES_NOT_SAVED) {
            break;
        }
        ORIN_LOG_INFO(fn, "%s is not displayable; stepping over it", Utf8(entry.FullPath()).c_str());
    }
    m_iCurrentIndex = index;
    m_bHasCurrentItem = true;
    const CCurrentDirectoryEntry& current = m_saCurrentDirectory[index];
    if (!online || current.IsPlaceholder() || current.m_bDisplayable == 0) {
        return true;
    }
    // Loading downloads the preview at once when the local cache lacks it.
    if (!SetStorageCurrentFile(current.FullPath(), true)) {
        ORIN_LOG_ERROR(fn, "Failed to set current image");
        return false;
    }
    return true;
}
