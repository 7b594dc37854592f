// The storage model: the in-memory mirror of the camera's partitions, folders and pictures, the
// file commands that change the camera's disk, the per-picture requests, and the current folder
// and picture of the application.
//
// Every public operation takes the model's lock, so the dispatcher and worker threads may call
// in at any time. Node pointers handed out stay valid only while the caller holds LockModel();
// a thread that keeps something across calls keeps the full name. Operations that destroy nodes
// forget the current file and folder when they lie in the destroyed part and tell the node
// removed hook, so that nobody is left pointing at a freed node.
//
// Lock order: the model lock, then the local cache lock (DiskCacheOp::CacheLock), then the
// protocol layer's transaction and command locks. Code that holds a lock of the protocol layer
// must not call into the model. The hooks run with the model lock held: they hand their work on
// (post a message) and return.
//
// The last decoded picture: the imaging library keeps the bitmap it decoded during a download;
// this library, which must not depend on it, reports the local path that bitmap belongs to
// through the last picture hook, and the application pairs the two.
//
// The local preview of a picture is the processed one ("~" name) exactly while its node's
// processed-view flag is set, whatever the camera's new-picture state: a picture just taken is
// stored and shown under its plain name. GetLocalPreview gives that path by name.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "app/link/ProtocolCommand.h"
#include "app/storage/DOSDirectory.h"
#include "app/storage/DOSFile.h"
#include "app/storage/PictureProperties.h"
#include "app/storage/VolumeMeter.h"

class CProtocolLayer;

class CCache {
public:
    // Icons of a message the model asks the application to show.
    enum class MessageIcon { Stop, Question, Exclamation, Information };
    using UserMessageHook = std::function<void(const std::u16string& text, MessageIcon icon)>;
    // A node (and everything below it) was destroyed; full name as it was.
    using NodeRemovedHook = std::function<void(const std::u16string& fullName)>;
    // A preview was saved while the link decodes pictures during download: the application pairs
    // this path with the bitmap the decoder kept, so the picture is not decoded twice.
    using LastPictureHook = std::function<void(const std::filesystem::path& localPath)>;

    explicit CCache(CProtocolLayer* protocol);
    ~CCache();
    CCache(const CCache&) = delete;
    CCache& operator=(const CCache&) = delete;

    void SetProtocol(CProtocolLayer* protocol);
    CProtocolLayer* GetProtocol() const { return m_pProtocol; }
    void SetUserMessageHook(UserMessageHook hook);
    void SetNodeRemovedHook(NodeRemovedHook hook);
    void SetLastPictureHook(LastPictureHook hook);
    // The meter of the volume that holds the local cache (tests play a filling disk).
    void SetVolumeMeter(storage::IVolumeMeter* meter);
    storage::IVolumeMeter& GetVolumeMeter() const;

    // Held by callers that use node pointers across several calls.
    std::unique_lock<std::recursive_mutex> LockModel() const { return std::unique_lock(m_lock); }

    // --- tree access ---
    bool Init(std::u16string_view folderFullName);
    // Looks a name up, listing every unlisted folder on the way. With load (and the node not
    // cached) or force, the last node's Cache runs too (a file's preview download).
    CDOSObject* Find(std::u16string_view fullName, bool load, bool force);
    // The node as the tree holds it now; never talks to the camera.
    CDOSObject* FindInTree(std::u16string_view fullName) const;
    bool Add(std::u16string_view fullName, bool isFile, CDOSObject** node = nullptr);
    bool Remove(std::u16string_view fullName);
    bool SetCurrentDirectory(std::u16string_view fullName);
    bool SetCurrentFile(std::u16string_view fullName, bool load);
    std::u16string GetCurrentFileName() const;
    std::u16string GetCurrentDirectoryName() const;
    CDOSFile* GetCurrentFile() const { return m_pCurrentFile; }
    CDOSDirectory* GetCurrentDirectory() const { return m_pCurrentDirectory; }
    // "Name,d;Name,f;" sorted by name; true when the folder has at least one child.
    bool GetFolderListing(std::u16string_view fullName, std::u16string& listing);
    int GetPartitionCount() const;
    void Clear();
    static bool SplitFullObjName(std::u16string_view fullName, std::u16string& folder, std::u16string& name);

    // --- by name, for threads that hold no node ---
    // Downloads the preview when needed (Find with load/force on a file).
    bool CachePicture(std::u16string_view fileFullName, bool force);
    // The local preview a file shows now and whether it exists.
    bool GetLocalPreview(std::u16string_view fileFullName, std::filesystem::path& path, bool& exists) const;
    // A copy of a file's properties, fetched as GetProperties decides. Returns the fetch result
    // (0, 1 or 2; after 2 the node is gone); -1 when the name is not a file.
    int GetPictureProperties(std::u16string_view fileFullName, CPictureProperties& properties);

    // --- file commands; error receives the text for the user ---
    bool Move(std::u16string_view source, std::u16string_view target, std::u16string& error);
    bool Copy(std::u16string_view source, std::u16string_view target, std::u16string& error);
    bool Delete(std::u16string_view fullName, std::u16string& error);
    bool MakeDir(std::u16string_view fullName, std::u16string& error);
    bool Recover(std::u16string_view partition, std::u16string& error);
    bool QuickFormat(std::u16string_view partition, std::u16string& error);

    // --- per-picture requests; an empty file name means the current file ---
    bool SetMarking(int32_t mark, std::u16string_view fileName = {});
    bool SetAnnotation(std::u16string_view text, std::u16string_view fileName = {});
    bool GetFrame(std::u16string& frame, std::u16string_view fileName = {});
    bool SetFraming(std::u16string_view framing, const int32_t location[4], std::u16string_view fileName = {});
    bool SetFstop(int32_t value1, int32_t value2, int32_t& histogramLocation, std::u16string& histogramValue,
                  std::u16string_view fileName = {});
    bool SetLightAndAttr(int32_t value1, int32_t value2, std::u16string& light, std::u16string_view fileName = {});
    bool SetAlarm(bool on, bool white);
    bool SetZoom(bool on, int32_t x, int32_t y, std::u16string_view fileName = {});

    // --- camera parameters ---
    bool SetCameraParam(const std::vector<std::u16string>* names, const std::vector<std::u16string>* values,
                        size_t count, std::u16string& error);
    bool SetHistogramDimensions(int32_t width, int32_t height);
    bool GetHistogramScale(int32_t& low, int32_t& high);
    bool GetBatteryPercent(int32_t& percent);
    bool GetExposuresLeft(int32_t& count);

    // The camera's text for the last per-picture request it refused (empty when none).
    std::u16string GetLastErrorText() const;

    // --- used by the nodes ---
    void ShowUserMessage(const std::u16string& text, MessageIcon icon) const;
    void NotifyLastPicture(const std::filesystem::path& localPath) const;

private:
    CDOSObject* Lookup(std::u16string_view fullName, bool list, bool load, bool force);
    // Unlinks and destroys a node, first letting go of everything that points into it.
    void DestroyNode(CDOSObject* node);
    void ForgetSubtree(const CDOSObject* node);
    // The file a per-picture request is about (the current file for an empty name).
    CDOSFile* ResolveFile(std::u16string_view fileName, std::u16string& fullName);
    // The not-saved answer: the node goes away after the request that met it.
    void RemoveUnsavedPicture(const std::u16string& fullName);
    // The properties of the picture fullName names, fetched when needed; none when it is not in
    // the tree, or when the camera reports it not saved (it is then removed).
    CPictureProperties* PropertiesOf(std::u16string& fullName);
    bool RunFileCommand(const char* logLine, const char16_t* command, std::u16string_view subject,
                        std::u16string_view target, uint32_t waitMs, std::u16string& error);
    bool QueryCameraValue(const char* logLine, const char16_t* name, std::u16string& value, bool& found);
    // A decimal camera value, -1 when the answer does not carry it.
    bool QueryCameraNumber(const char* logLine, const char16_t* name, int32_t& number);

    mutable std::recursive_mutex m_lock;
    CProtocolLayer* m_pProtocol;
    std::unique_ptr<CDOSDirectory> m_pRoot;
    CDOSFile* m_pCurrentFile = nullptr;
    CDOSDirectory* m_pCurrentDirectory = nullptr;
    storage::IVolumeMeter* m_pVolumeMeter = nullptr;
    UserMessageHook m_userMessageHook;
    NodeRemovedHook m_nodeRemovedHook;
    LastPictureHook m_lastPictureHook;
    std::u16string m_strLastError;
};
