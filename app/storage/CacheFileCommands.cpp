// CCache: the file commands that change the camera's disk, and the tree and local cache updates
// that follow a command the camera carried out.
#include "app/storage/Cache.h"

#include "app/link/ProtocolLayer.h"
#include "app/link/TagText.h"
#include "app/platform/Log.h"
#include "app/storage/DiskCacheOp.h"
#include "app/storage/ObjectNames.h"
#include "app/storage/WideText.h"

using storage::ToUtf8;

namespace {

constexpr uint32_t kMoveCopyTimeoutMs = 10000;
constexpr uint32_t kFileCommandTimeoutMs = 4000;

const char16_t* const kInvalidSource = u"Invalid or empty source file name.";
const char16_t* const kInvalidTarget = u"Invalid or empty target file name.";
const char16_t* const kAlreadyExists = u" already exists.";
// The camera's own texts for these cases, so the user reads the same words either way.
const char16_t* const kNotFound = u"File or directory not found.";
const char16_t* const kNotAFolder = u"A specified path that must be a directory was not.";
const char16_t* const kNoAnswer = u"The camera did not answer.";

// A full file name the user or a caller gave: it must name something below the root, may not
// end in "/", and each component must be fit for the local cache.
bool IsFileNameArgument(std::u16string_view name)
{
    return !name.empty() && name.find(u'/') != std::u16string_view::npos && name.back() != u'/' &&
           storage::IsValidFullName(name, false);
}

// A full name of anything below the root, folder or file.
bool IsObjectNameArgument(std::u16string_view name)
{
    return !name.empty() && name.find(u'/') != std::u16string_view::npos && storage::IsValidFullName(name, false);
}

std::u16string AsFolderName(std::u16string_view name)
{
    std::u16string folder(name);
    if (folder.empty() || folder.back() != u'/') {
        folder.push_back(u'/');
    }
    return folder;
}

// "The folder "%s" already contains the file "%s"." with the folder in display form.
std::u16string AlreadyContains(std::u16string_view folder, std::u16string_view name)
{
    return u"The folder \"" + storage::DisplayForm(folder) + u"\" already contains the file \"" + std::u16string(name) +
           u"\".";
}

// What Move and Copy check before anything is sent: both names, the source file, no namesake at
// the target, and a target folder. The folder is checked first because once the camera has carried
// the command out the node must have somewhere to go, or the tree no longer matches the disk.
bool CheckTransfer(CCache& cache, std::u16string_view source, std::u16string_view target, std::u16string& error,
                   CDOSObject*& node, CDOSObject*& folder, std::u16string& targetName)
{
    ORIN_TRACE("CheckTransfer");
    if (!IsFileNameArgument(source)) {
        error = kInvalidSource;
        return false;
    }
    if (!IsFileNameArgument(target)) {
        error = kInvalidTarget;
        return false;
    }
    node = cache.Find(source, false, false);
    if (node == nullptr || !node->IsFile()) {
        error = kNotFound;
        return false;
    }
    std::u16string targetFolder;
    storage::SplitFullObjName(target, targetFolder, targetName);
    if (cache.Find(target, false, false) != nullptr) {
        error = AlreadyContains(targetFolder, targetName);
        return false;
    }
    folder = cache.Find(targetFolder, true, false);
    if (folder == nullptr) {
        error = kNotFound;
        return false;
    }
    if (!folder->IsDirectory()) {
        error = kNotAFolder;
        return false;
    }
    return true;
}

}  // namespace

bool CCache::RunFileCommand(const char* logLine, const char16_t* command, std::u16string_view subject,
                            std::u16string_view target, uint32_t waitMs, std::u16string& error)
{
    ORIN_TRACE("CCache::RunFileCommand");
    if (m_pProtocol == nullptr) {
        ORIN_LOG_ERROR("CCache::RunFileCommand", "%s no camera link", logLine);
        error = kNoAnswer;
        return false;
    }
    AttributeList attributes{{u"FileCommand", command}, {u"Subject", std::u16string(subject)}};
    if (!target.empty()) {
        attributes.emplace_back(u"Target", std::u16string(target));
    }
    attributes.emplace_back(u"Retransmission", u"TRUE");
    ProtocolCommand answer;
    std::u16string errorText;
    if (!m_pProtocol->FileCommand(answer, attributes, errorText, waitMs)) {
        ORIN_LOG_ERROR("CCache::RunFileCommand", "%s %s", logLine, ToUtf8(errorText).c_str());
        if (const std::u16string* code = answer.FindAttribute(u"error")) {
            ErrorCodeToText(*code, error);
        } else {
            error = errorText.empty() ? std::u16string(kNoAnswer) : errorText;
        }
        return false;
    }
    return true;
}

bool CCache::Move(std::u16string_view source, std::u16string_view target, std::u16string& error)
{
    ORIN_TRACE("CCache::Move");
    std::lock_guard lock(m_lock);
    error.clear();
    CDOSObject* node = nullptr;
    CDOSObject* folder = nullptr;
    std::u16string targetName;
    if (!CheckTransfer(*this, source, target, error, node, folder, targetName)) {
        return false;
    }
    const std::u16string sourceFullName = node->GetFullName();
    if (!RunFileCommand("CCache::Move \"move\" command failed Error:", u"move", sourceFullName, target,
                        kMoveCopyTimeoutMs, error)) {
        return false;
    }
    std::unique_ptr<CDOSObject> moved = node->GetParent()->DetachChild(node);
    moved->Rename(targetName);
    if (!folder->AddChild(std::move(moved))) {
        return false;
    }
    storage::DiskCacheOp::MoveLocalPicture(sourceFullName, node->GetFullName());
    return true;
}

bool CCache::Copy(std::u16string_view source, std::u16string_view target, std::u16string& error)
{
    ORIN_TRACE("CCache::Copy");
    std::lock_guard lock(m_lock);
    error.clear();
    CDOSObject* node = nullptr;
    CDOSObject* folder = nullptr;
    std::u16string targetName;
    if (!CheckTransfer(*this, source, target, error, node, folder, targetName)) {
        return false;
    }
    const std::u16string sourceFullName = node->GetFullName();
    if (!RunFileCommand("CCache::Copy \"copy\" command failed Error:", u"copy", sourceFullName, target,
                        kMoveCopyTimeoutMs, error)) {
        return false;
    }
    std::unique_ptr<CDOSObject> copy = node->Clone();
    copy->Rename(targetName);
    CDOSObject* created = copy.get();
    if (!folder->AddChild(std::move(copy))) {
        return false;
    }
    storage::DiskCacheOp::CopyLocalPicture(sourceFullName, created->GetFullName());
    return true;
}

bool CCache::Delete(std::u16string_view fullName, std::u16string& error)
{
    ORIN_TRACE("CCache::Delete");
    std::lock_guard lock(m_lock);
    error.clear();
    if (!IsObjectNameArgument(fullName)) {
        // The root itself passes no check: deleting it is never asked of the camera.
        if (!storage::IsValidFullName(fullName, true) || fullName.find(u'/') == std::u16string_view::npos) {
            error = kInvalidSource;
        }
        return false;
    }
    CDOSObject* node = Find(fullName, false, false);
    if (node == nullptr) {
        error = kNotFound;
        return false;
    }
    if (node->GetParent() == nullptr) {
        return false;
    }
    const bool isFile = node->IsFile();
    const std::u16string nodeName = node->GetFullName();
    if (!RunFileCommand("CCache::Delete \"del\" command failed Error:", isFile ? u"del" : u"rmdir", nodeName, {},
                        kFileCommandTimeoutMs, error)) {
        return false;
    }
    DestroyNode(node);
    if (isFile) {
        std::u16string folder;
        std::u16string name;
        storage::SplitFullObjName(nodeName, folder, name);
        storage::DiskCacheOp::DeleteLocalPicture(nodeName);
        storage::DiskCacheOp::DeleteLocalPicture(folder + u"/~" + name);
    } else {
        storage::DiskCacheOp::DeleteLocalFolder(nodeName, true);
    }
    return true;
}

bool CCache::MakeDir(std::u16string_view fullName, std::u16string& error)
{
    ORIN_TRACE("CCache::MakeDir");
    ORIN_LOG_INFO("CCache::MakeDir", "CCache::MakeDir() folder to create %s", ToUtf8(fullName).c_str());
    std::lock_guard lock(m_lock);
    error.clear();
    if (!IsObjectNameArgument(fullName)) {
        error = kInvalidSource;
        return false;
    }
    const std::u16string folderName = AsFolderName(fullName);
    if (Find(folderName, false, false) != nullptr) {
        error = kAlreadyExists;
        return false;
    }
    if (!RunFileCommand("CCache::MakeDir \"mkdir\" command failed Error:", u"mkdir", folderName, {},
                        kFileCommandTimeoutMs, error)) {
        return false;
    }
    const bool added = Add(folderName, false, nullptr);
    ORIN_LOG_INFO("CCache::MakeDir", "CCache::MakeDir() Add() returned %s", added ? "TRUE" : "FALSE");
    return added;
}

bool CCache::Recover(std::u16string_view partition, std::u16string& error)
{
    ORIN_TRACE("CCache::Recover");
    std::lock_guard lock(m_lock);
    error.clear();
    if (!IsObjectNameArgument(partition)) {
        error = kInvalidSource;
        return false;
    }
    return RunFileCommand("CCache::Recover \"mkdir\" command failed Error:", u"recovery", AsFolderName(partition), {},
                          kFileCommandTimeoutMs, error);
}

bool CCache::QuickFormat(std::u16string_view partition, std::u16string& error)
{
    ORIN_TRACE("CCache::QuickFormat");
    std::lock_guard lock(m_lock);
    error.clear();
    if (!IsObjectNameArgument(partition)) {
        error = kInvalidSource;
        return false;
    }
    CDOSObject* node = Find(partition, false, false);
    if (node == nullptr || node->GetParent() == nullptr) {
        error = kNotFound;
        return false;
    }
    if (!node->IsDirectory()) {
        error = kNotAFolder;
        return false;
    }
    const std::u16string partitionName = node->GetFullName();
    if (!RunFileCommand("CCache::Recover \"qformat\" command failed Error:", u"qformat", partitionName, {},
                        kFileCommandTimeoutMs, error)) {
        return false;
    }
    const bool currentInside =
        m_pCurrentDirectory != nullptr && m_pCurrentDirectory->GetFullName().starts_with(partitionName);
    while (!node->Children().empty()) {
        DestroyNode(node->Children().back().get());
    }
    if (currentInside) {
        m_pCurrentDirectory = static_cast<CDOSDirectory*>(node);
    }
    storage::DiskCacheOp::DeleteLocalFolder(partitionName, false);
    return true;
}
