// A folder of the camera's disk (or a partition, or the root "."): listed from the camera with
// the "dir" file command the first time something inside it is looked up.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "app/storage/DOSObject.h"

class CDOSDirectory : public CDOSObject {
public:
    // Folders nested deeper than this are not listed: a camera that reported a folder inside
    // itself endlessly would otherwise list (and recurse) without end.
    static constexpr int kMaxDepth = 32;

    CDOSDirectory(std::u16string_view name, CCache* owner);

    // Lists the folder with "dir" unless it is listed already.
    bool Cache(CProtocolLayer* protocol, bool load, bool force) override;
    size_t MemoryEstimate() const override;

    // Adds the children a "dir" answer names ("D-Folder,stamp;F-Pic.mos,stamp"): new folders are
    // listed at once, existing children are reused, children the listing lacks stay. Items whose
    // name could not be a local file name are logged and skipped; a malformed item stops the
    // listing with failure (the folder then stays unlisted).
    bool AddChilds(CProtocolLayer* protocol, std::u16string_view listing, std::u16string_view folderFullName);
};
