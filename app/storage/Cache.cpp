#include "app/storage/Cache.h"

#include <algorithm>

#include "app/link/ProtocolLayer.h"
#include "app/platform/Log.h"
#include "app/storage/DiskCacheOp.h"
#include "app/storage/ObjectNames.h"
#include "app/storage/WideText.h"

using storage::ToUtf8;

CCache::CCache(CProtocolLayer* protocol) : m_pProtocol(protocol)
{
    ORIN_TRACE("CCache::CCache");
}

CCache::~CCache()
{
    ORIN_TRACE("CCache::~CCache");
    // Whoever set the hooks may already be gone while the model is torn down.
    m_nodeRemovedHook = nullptr;
    m_userMessageHook = nullptr;
    m_lastPictureHook = nullptr;
    Clear();
}

void CCache::SetProtocol(CProtocolLayer* protocol)
{
    ORIN_TRACE("CCache::SetProtocol");
    std::lock_guard lock(m_lock);
    m_pProtocol = protocol;
}

void CCache::SetUserMessageHook(UserMessageHook hook)
{
    ORIN_TRACE("CCache::SetUserMessageHook");
    std::lock_guard lock(m_lock);
    m_userMessageHook = std::move(hook);
}

void CCache::SetNodeRemovedHook(NodeRemovedHook hook)
{
    ORIN_TRACE("CCache::SetNodeRemovedHook");
    std::lock_guard lock(m_lock);
    m_nodeRemovedHook = std::move(hook);
}

void CCache::SetLastPictureHook(LastPictureHook hook)
{
    ORIN_TRACE("CCache::SetLastPictureHook");
    std::lock_guard lock(m_lock);
    m_lastPictureHook = std::move(hook);
}

void CCache::SetVolumeMeter(storage::IVolumeMeter* meter)
{
    ORIN_TRACE("CCache::SetVolumeMeter");
    std::lock_guard lock(m_lock);
    m_pVolumeMeter = meter;
}

storage::IVolumeMeter& CCache::GetVolumeMeter() const
{
    ORIN_TRACE("CCache::GetVolumeMeter");
    std::lock_guard lock(m_lock);
    return m_pVolumeMeter != nullptr ? *m_pVolumeMeter : storage::DefaultVolumeMeter();
}

void CCache::ShowUserMessage(const std::u16string& text, MessageIcon icon) const
{
    ORIN_TRACE("CCache::ShowUserMessage");
    std::lock_guard lock(m_lock);
    if (m_userMessageHook) {
        m_userMessageHook(text, icon);
    }
}

void CCache::NotifyLastPicture(const std::filesystem::path& localPath) const
{
    ORIN_TRACE("CCache::NotifyLastPicture");
    std::lock_guard lock(m_lock);
    if (m_lastPictureHook) {
        m_lastPictureHook(localPath);
    }
}

bool CCache::Init(std::u16string_view folderFullName)
{
    ORIN_TRACE("CCache::Init");
    ORIN_LOG_INFO("CCache::Init", "CCache::Init() - REM:Invoke recurse disk cache checking with folders adding/removing");
    std::lock_guard lock(m_lock);
    if (folderFullName.empty()) {
        return false;
    }
    if (!storage::DiskCacheOp::EnsureCacheRoot()) {
        return false;  // "Can't create Last Orin Captures directory " is logged there, with the path
    }
    if (!m_pRoot) {
        m_pRoot = std::make_unique<CDOSDirectory>(storage::kRootName, this);
        if (!m_pRoot->Cache(m_pProtocol, true, false)) {
            return false;
        }
    }
    if (m_pCurrentDirectory != nullptr && m_pCurrentDirectory->GetFullName() == folderFullName) {
        return true;
    }
    CDOSObject* node = Find(folderFullName, true, false);
    if (node == nullptr) {
        const auto& partitions = m_pRoot->Children();
        const auto first = std::find_if(partitions.begin(), partitions.end(),
                                        [](const auto& child) { return child->IsDirectory(); });
        m_pCurrentDirectory = first == partitions.end() ? nullptr : static_cast<CDOSDirectory*>(first->get());
        return m_pCurrentDirectory != nullptr;
    }
    if (node->IsDirectory()) {
        m_pCurrentDirectory = static_cast<CDOSDirectory*>(node);
        return true;
    }
    return false;
}

CDOSObject* CCache::Lookup(std::u16string_view fullName, bool list, bool load, bool force)
{
    if (fullName.empty() || !m_pRoot) {
        return nullptr;
    }
    const std::vector<std::u16string> parts = storage::SplitComponents(fullName);
    if (parts.empty() || parts.front() != m_pRoot->GetName()) {
        return nullptr;
    }
    CDOSObject* node = m_pRoot.get();
    for (size_t i = 1; i < parts.size(); ++i) {
        if (!node->IsDirectory()) {
            return nullptr;  // a file has nothing below it, and is not downloaded to find out
        }
        if (list && !node->IsCached() && !node->Cache(m_pProtocol, true, false)) {
            return nullptr;
        }
        node = node->FindChild(parts[i]);
        if (node == nullptr) {
            return nullptr;
        }
    }
    if (list && ((load && !node->IsCached()) || force)) {
        node->Cache(m_pProtocol, load, force);
    }
    return node;
}

CDOSObject* CCache::Find(std::u16string_view fullName, bool load, bool force)
{
    ORIN_TRACE("CCache::Find");
    std::lock_guard lock(m_lock);
    return Lookup(fullName, true, load, force);
}

CDOSObject* CCache::FindInTree(std::u16string_view fullName) const
{
    ORIN_TRACE("CCache::FindInTree");
    std::lock_guard lock(m_lock);
    return const_cast<CCache*>(this)->Lookup(fullName, false, false, false);
}

bool CCache::Add(std::u16string_view fullName, bool isFile, CDOSObject** out)
{
    ORIN_TRACE("CCache::Add");
    std::lock_guard lock(m_lock);
    if (out != nullptr) {
        *out = nullptr;
    }
    if (fullName.empty()) {
        ORIN_LOG_ERROR("CCache::Add", "CCache::Add()invalid name %s", "NULL");
        return false;
    }
    // Names reach here from picture-taken messages and from the user: each component becomes a
    // local path, so nothing that could leave the cache is let in.
    if (!storage::IsValidFullName(fullName, false)) {
        ORIN_LOG_ERROR("CCache::Add", "CCache::Add()invalid name %s", ToUtf8(fullName).c_str());
        return false;
    }
    if (!m_pRoot) {
        m_pRoot = std::make_unique<CDOSDirectory>(storage::kRootName, this);
    }
    // When the camera cannot list a folder on the way, the tree as it stands still decides, so a
    // second Add never makes a namesake.
    CDOSObject* existing = Lookup(fullName, true, false, false);
    if (existing == nullptr) {
        existing = Lookup(fullName, false, false, false);
    }
    if (existing != nullptr) {
        if (out != nullptr) {
            *out = existing;
        }
        ORIN_LOG_WARNING("CCache::Add", "CCache::Add()  The node already exists: %s", ToUtf8(fullName).c_str());
        return true;
    }
    std::u16string folder;
    std::u16string name;
    if (!storage::SplitFullObjName(fullName, folder, name)) {
        ORIN_LOG_ERROR("CCache::Add", "CCache::Add(). SplitFullObjName() failed name %s", ToUtf8(fullName).c_str());
        return false;
    }
    CDOSObject* parent = Lookup(folder, false, false, false);
    if (parent == nullptr) {
        Add(folder + u"/", false, nullptr);
        parent = Lookup(folder, false, false, false);
    }
    if (parent == nullptr) {
        ORIN_LOG_ERROR("CCache::Add", "The pointer to upper level DOS object is NULL");
        return false;
    }
    if (!parent->IsDirectory()) {
        ORIN_LOG_ERROR("CCache::Add", "The upper level DOS object is not a folder");
        return false;
    }
    std::unique_ptr<CDOSObject> node;
    if (isFile) {
        node = std::make_unique<CDOSFile>(name, this);
    } else {
        if (parent->Depth() + 1 > CDOSDirectory::kMaxDepth) {
            ORIN_LOG_ERROR("CCache::Add", "CCache::Add() folder nested too deep %s", ToUtf8(fullName).c_str());
            return false;
        }
        node = std::make_unique<CDOSDirectory>(name, this);
    }
    CDOSObject* created = node.get();
    if (!parent->AddChild(std::move(node))) {
        ORIN_LOG_ERROR("CCache::Add", "CCache::Add() failed to add new child to directory %s", ToUtf8(folder).c_str());
        return false;
    }
    if (!isFile) {
        storage::DiskCacheOp::CreateLocalFolderTree(created->GetFullName());
    }
    if (out != nullptr) {
        *out = created;
    }
    return true;
}

void CCache::ForgetSubtree(const CDOSObject* node)
{
    ORIN_TRACE("CCache::ForgetSubtree");
    if (m_pCurrentFile != nullptr && m_pCurrentFile->IsInSubtreeOf(node)) {
        m_pCurrentFile = nullptr;
    }
    if (m_pCurrentDirectory != nullptr && m_pCurrentDirectory->IsInSubtreeOf(node)) {
        m_pCurrentDirectory = nullptr;
    }
}

void CCache::DestroyNode(CDOSObject* node)
{
    ORIN_TRACE("CCache::DestroyNode");
    if (node == nullptr) {
        return;
    }
    const std::u16string fullName = node->GetFullName();
    ForgetSubtree(node);
    CDOSObject* parent = node->GetParent();
    if (parent != nullptr) {
        parent->DetachChild(node);  // the returned owner destroys the subtree here
    } else if (node == m_pRoot.get()) {
        m_pRoot.reset();
    }
    if (m_nodeRemovedHook) {
        m_nodeRemovedHook(fullName);
    }
}

bool CCache::Remove(std::u16string_view fullName)
{
    ORIN_TRACE("CCache::Remove");
    std::lock_guard lock(m_lock);
    CDOSObject* node = Lookup(fullName, false, false, false);
    if (node == nullptr) {
        return false;
    }
    DestroyNode(node);
    return true;
}

bool CCache::SetCurrentDirectory(std::u16string_view fullName)
{
    ORIN_TRACE("CCache::SetCurrentDirectory");
    std::lock_guard lock(m_lock);
    CDOSObject* node = Find(fullName, true, false);
    if (node == nullptr || !node->IsDirectory()) {
        return false;
    }
    m_pCurrentDirectory = static_cast<CDOSDirectory*>(node);
    return true;
}

bool CCache::SetCurrentFile(std::u16string_view fullName, bool load)
{
    ORIN_TRACE("CCache::SetCurrentFile");
    std::lock_guard lock(m_lock);
    if (fullName.empty()) {
        ORIN_LOG_ERROR("CCache::SetCurrentFile", "CCache::SetCurrentFile Parameter error: %s", "");
        return false;
    }
    CDOSObject* node = Find(fullName, load, false);
    if (node == nullptr || !node->IsFile()) {
        ORIN_LOG_ERROR("CCache::SetCurrentFile", "pDOSObject != NULL: %d", node != nullptr ? 1 : 0);
        return false;
    }
    m_pCurrentFile = static_cast<CDOSFile*>(node);
    return true;
}

std::u16string CCache::GetCurrentFileName() const
{
    ORIN_TRACE("CCache::GetCurrentFileName");
    std::lock_guard lock(m_lock);
    return m_pCurrentFile != nullptr ? m_pCurrentFile->GetFullName() : std::u16string();
}

std::u16string CCache::GetCurrentDirectoryName() const
{
    ORIN_TRACE("CCache::GetCurrentDirectoryName");
    std::lock_guard lock(m_lock);
    return m_pCurrentDirectory != nullptr ? m_pCurrentDirectory->GetFullName() : std::u16string();
}

bool CCache::GetFolderListing(std::u16string_view fullName, std::u16string& listing)
{
    ORIN_TRACE("CCache::GetFolderListing");
    std::lock_guard lock(m_lock);
    listing.clear();
    CDOSObject* node = Find(fullName, true, false);
    if (node == nullptr || !node->IsDirectory()) {
        return false;
    }
    std::vector<std::pair<std::u16string, char16_t>> entries;
    entries.reserve(node->Children().size());
    for (const auto& child : node->Children()) {
        entries.emplace_back(child->GetName(), child->IsDirectory() ? u'd' : u'f');
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& [name, letter] : entries) {
        listing += name;
        listing += u',';
        listing += letter;
        listing += u';';
    }
    return !entries.empty();
}

int CCache::GetPartitionCount() const
{
    ORIN_TRACE("CCache::GetPartitionCount");
    std::lock_guard lock(m_lock);
    if (!m_pRoot) {
        return 0;
    }
    return static_cast<int>(std::count_if(m_pRoot->Children().begin(), m_pRoot->Children().end(),
                                          [](const auto& child) { return child->IsDirectory(); }));
}

void CCache::Clear()
{
    ORIN_TRACE("CCache::Clear");
    std::lock_guard lock(m_lock);
    m_pCurrentFile = nullptr;
    m_pCurrentDirectory = nullptr;
    if (m_pRoot) {
        DestroyNode(m_pRoot.get());
    }
}

bool CCache::SplitFullObjName(std::u16string_view fullName, std::u16string& folder, std::u16string& name)
{
    ORIN_TRACE("CCache::SplitFullObjName");
    return storage::SplitFullObjName(fullName, folder, name);
}

bool CCache::CachePicture(std::u16string_view fileFullName, bool force)
{
    ORIN_TRACE("CCache::CachePicture");
    std::lock_guard lock(m_lock);
    CDOSObject* node = Find(fileFullName, false, false);
    if (node == nullptr || !node->IsFile()) {
        return false;
    }
    return node->Cache(m_pProtocol, true, force);
}

bool CCache::GetLocalPreview(std::u16string_view fileFullName, std::filesystem::path& path, bool& exists) const
{
    ORIN_TRACE("CCache::GetLocalPreview");
    std::lock_guard lock(m_lock);
    exists = false;
    CDOSObject* node = FindInTree(fileFullName);
    if (node == nullptr || !node->IsFile()) {
        return false;
    }
    const auto* file = static_cast<const CDOSFile*>(node);
    if (!file->LocalPreviewPath(path)) {
        return false;
    }
    exists = file->IsCached();
    return true;
}

int CCache::GetPictureProperties(std::u16string_view fileFullName, CPictureProperties& properties)
{
    ORIN_TRACE("CCache::GetPictureProperties");
    std::lock_guard lock(m_lock);
    CDOSObject* node = Find(fileFullName, false, false);
    if (node == nullptr || !node->IsFile()) {
        return -1;
    }
    CPictureProperties* record = nullptr;
    const int result = static_cast<CDOSFile*>(node)->GetProperties(m_pProtocol, record);
    if (result == CDOSFile::PROPERTIES_NOT_SAVED) {
        RemoveUnsavedPicture(node->GetFullName());
        return result;
    }
    properties = *record;
    return result;
}

void CCache::RemoveUnsavedPicture(const std::u16string& fullName)
{
    ORIN_TRACE("CCache::RemoveUnsavedPicture");
    CDOSObject* node = Lookup(fullName, false, false, false);
    if (node != nullptr) {
        DestroyNode(node);
    }
}
