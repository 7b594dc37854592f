#include "app/storage/DOSDirectory.h"

#include "app/link/ProtocolLayer.h"
#include "app/link/TagText.h"
#include "app/platform/Log.h"
#include "app/storage/DOSFile.h"
#include "app/storage/DiskCacheOp.h"
#include "app/storage/ObjectNames.h"
#include "app/storage/WideText.h"

namespace {

constexpr uint32_t kDirAnswerTimeoutMs = 4000;
constexpr size_t kFolderMemoryOverhead = 64;

}  // namespace

CDOSDirectory::CDOSDirectory(std::u16string_view name, CCache* owner) : CDOSObject(DOS_DIRECTORY, name, owner) {}

size_t CDOSDirectory::MemoryEstimate() const
{
    ORIN_TRACE("CDOSDirectory::MemoryEstimate");
    return m_strName.size() * sizeof(char16_t) + kFolderMemoryOverhead;
}

bool CDOSDirectory::Cache(CProtocolLayer* protocol, bool /*load*/, bool /*force*/)
{
    ORIN_TRACE("CDOSDirectory::Cache");
    if (m_bCached) {
        return true;
    }
    if (protocol == nullptr) {
        ORIN_LOG_ERROR("CDOSDirectory::Cache", "CDOSDirectory::Cache no camera link to list %s",
                       storage::ToUtf8(GetFullName()).c_str());
        return false;
    }
    const std::u16string fullName = GetFullName();
    const AttributeList attributes{{u"FileCommand", u"dir"}, {u"Subject", fullName}, {u"Retransmission", u"TRUE"}};
    ProtocolCommand answer;
    std::u16string errorText;
    if (!protocol->FileCommand(answer, attributes, errorText, kDirAnswerTimeoutMs)) {
        if (const std::u16string* code = answer.FindAttribute(u"error")) {
            std::u16string text;
            ErrorCodeToText(*code, text);
            ORIN_LOG_INFO("CDOSDirectory::Cache",
                          "CDOSDirectory::Cache() \"dir\" command returned error = %s description = \"%s\" ",
                          storage::ToUtf8(*code).c_str(), storage::ToUtf8(text).c_str());
        } else {
            ORIN_LOG_ERROR("CDOSDirectory::Cache", "CDOSDirectory::Cache \"dir\" command failed Error: %s",
                           storage::ToUtf8(errorText).c_str());
        }
        return false;
    }
    const std::u16string* listing = answer.FindAttribute(u"Dir");
    m_bCached = AddChilds(protocol, listing != nullptr ? *listing : std::u16string(), fullName);
    return m_bCached;
}

bool CDOSDirectory::AddChilds(CProtocolLayer* protocol, std::u16string_view listing,
                              std::u16string_view folderFullName)
{
    ORIN_TRACE("CDOSDirectory::AddChilds");
    ORIN_LOG_INFO("CDOSDirectory::AddChilds", "CDOSDirectory::AddChilds() PATH=%s", storage::ToUtf8(listing).c_str());
    const std::vector<std::u16string> items = storage::SplitNonEmpty(listing, u';');
    storage::DiskCacheOp::ReconcileLocalFolder(folderFullName, items);

    bool result = true;
    for (const std::u16string& item : items) {
        storage::ListingItem parsed;
        if (!storage::ParseListingItem(item, parsed)) {
            ORIN_LOG_ERROR("CDOSDirectory::AddChilds", "incorrect description of storage item");
            return false;
        }
        const std::u16string& name = parsed.name;
        // Each name becomes a local path below the cache: ".." or a separator would lead out of it.
        if (!storage::IsValidComponent(name)) {
            ORIN_LOG_ERROR("CDOSDirectory::AddChilds", "The directory name conteins unsupported symbols");
            ORIN_LOG_INFO("CDOSDirectory::AddChilds", "Skipped listing item %s", storage::ToUtf8(item).c_str());
            continue;
        }
        const bool isFolder = parsed.isFolder;
        CDOSObject* child = FindChild(name);
        if (child != nullptr && child->IsDirectory() != isFolder) {
            ORIN_LOG_ERROR("CDOSDirectory::AddChilds", "Listed %s changed between file and folder; kept as it was",
                           storage::ToUtf8(name).c_str());
            continue;
        }
        if (child == nullptr) {
            std::unique_ptr<CDOSObject> node;
            if (isFolder) {
                if (Depth() + 1 > kMaxDepth) {
                    ORIN_LOG_ERROR("CDOSDirectory::AddChilds", "Folder %s nested too deep; skipped",
                                   storage::ToUtf8(name).c_str());
                    continue;
                }
                node = std::make_unique<CDOSDirectory>(name, m_pOwner);
            } else {
                node = std::make_unique<CDOSFile>(name, m_pOwner);
            }
            child = node.get();
            if (!AddChild(std::move(node))) {
                result = false;
                continue;
            }
            if (isFolder) {
                const std::u16string childFullName = child->GetFullName();
                storage::DiskCacheOp::CreateLocalFolderTree(childFullName);
                child->Cache(protocol, true, false);
            }
        }
        if (parsed.hasTimestamp) {
            child->SetDateTime(parsed.timestamp);
        }
    }
    return result;
}
