// A picture file of the camera's disk: its property record and its preview in the local cache.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/storage/DOSObject.h"
#include "app/storage/PictureProperties.h"

class CDOSFile : public CDOSObject {
public:
    // Results of CacheProperties.
    enum : int { PROPERTIES_FETCHED = 0, PROPERTIES_FAILED = 1, PROPERTIES_NOT_SAVED = 2 };
    // The camera's code for a picture that is not saved on its disk.
    static constexpr const char16_t* kNotSavedCode = u"8179";

    CDOSFile(std::u16string_view name, CCache* owner);

    // The preview to use (processed while the processed-view flag is set) exists as a file.
    bool IsCached() const override;
    // false deletes the preview, plain and processed alike.
    void SetCached(bool cached) override;
    // Stores the stamp and gives it to the cached plain preview as its file time.
    void SetDateTime(const std::u16string& timestamp) override;
    // Makes sure the preview is in the local cache, downloading it when needed. force (or a zoom
    // or alarm flag) asks for the camera's processed rendering.
    bool Cache(CProtocolLayer* protocol, bool load, bool force) override;
    bool AddChild(std::unique_ptr<CDOSObject> node) override;
    std::unique_ptr<CDOSObject> Clone() const override;
    size_t MemoryEstimate() const override;

    // Writes a received preview as the plain or the processed file of this picture and deletes
    // the other one. The bytes go to a temporary file that is renamed into place only when all
    // are written, so a failure leaves no partial preview and keeps the other one.
    bool SaveLastFile(const std::vector<uint8_t>& image, bool processed, bool remember);

    // 0 fetched, 1 failed, 2 the camera reports the picture as not saved (the caller then removes
    // the node, after the call: this one does not destroy itself).
    int CacheProperties(CProtocolLayer* protocol);
    // Hands out the record and fetches it when needed: once for a finished picture, at every
    // access while the camera reports it as new or in process.
    int GetProperties(CProtocolLayer* protocol, CPictureProperties*& record);
    CPictureProperties& Properties() { return *m_pProperties; }
    const CPictureProperties& Properties() const { return *m_pProperties; }

    bool IsProcessedView() const { return m_bProcessedView; }
    void SetProcessedView(bool processed) { m_bProcessedView = processed; }
    int32_t GetState() const { return m_nState; }

    // The local preview this node shows: the processed one while the processed-view flag is set.
    bool LocalPreviewPath(std::filesystem::path& out) const;
    bool LocalPreviewPath(bool processed, std::filesystem::path& out) const;

private:
    std::unique_ptr<CPictureProperties> m_pProperties;
    bool m_bProcessedView = false;
    int32_t m_nState = 2;
};
