// A node of the storage model's mirror of the camera's disk: the root ".", its partitions, their
// folders and the picture files in them.
//
// A folder owns its children; a node's parent and owner are plain back references. Nodes are
// reached only under the storage model's lock (CCache::LockModel), and code that runs on another
// thread keeps full names, never node pointers, from one lock to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class CCache;
class CProtocolLayer;

class CDOSObject {
public:
    enum : int32_t { DOS_DIRECTORY = 0, DOS_FILE = 1 };

    CDOSObject(int32_t type, std::u16string_view name, CCache* owner);
    virtual ~CDOSObject();
    CDOSObject(const CDOSObject&) = delete;
    CDOSObject& operator=(const CDOSObject&) = delete;

    int32_t GetType() const { return m_nType; }
    bool IsFile() const { return m_nType == DOS_FILE; }
    bool IsDirectory() const { return m_nType == DOS_DIRECTORY; }
    const std::u16string& GetName() const { return m_strName; }
    CDOSObject* GetParent() const { return m_pParent; }
    CCache* GetOwner() const { return m_pOwner; }
    // "./" for the root, "./Part/Folder/" for a folder, "./Part/Folder/Pic.mos" for a file.
    std::u16string GetFullName() const;
    // Number of components below the root ("./" is 0, "./Part/" is 1).
    int Depth() const;
    // True when this node is ancestor or lies below it.
    bool IsInSubtreeOf(const CDOSObject* ancestor) const;

    virtual bool IsCached() const;
    virtual void SetCached(bool cached);
    const std::u16string& GetTimeStamp() const { return m_strTimeStamp; }
    virtual void SetDateTime(const std::u16string& timestamp);
    virtual bool Cache(CProtocolLayer* protocol, bool load, bool force) = 0;
    // Appends node at the end of the child list and becomes its parent; a file takes no children.
    virtual bool AddChild(std::unique_ptr<CDOSObject> node);
    // A detached copy (files only).
    virtual std::unique_ptr<CDOSObject> Clone() const;
    virtual size_t MemoryEstimate() const = 0;

    // --- child list (always empty for files) ---
    const std::vector<std::unique_ptr<CDOSObject>>& Children() const { return m_children; }
    // The first child of that exact name, or null.
    CDOSObject* FindChild(std::u16string_view name) const;
    // Unlinks a child and hands it to the caller (who destroys it or appends it elsewhere).
    std::unique_ptr<CDOSObject> DetachChild(const CDOSObject* child);
    void DestroyChildren();
    // Gives a detached node a new short name (a move or copy onto another name); false while the
    // node is linked, as its parent's index knows it by the old name.
    bool Rename(std::u16string_view name);

protected:
    int32_t m_nType;
    std::u16string m_strName;
    bool m_bCached = false;
    CDOSObject* m_pParent = nullptr;
    std::u16string m_strTimeStamp;
    CCache* m_pOwner;

private:
    std::vector<std::unique_ptr<CDOSObject>> m_children;
    // Name lookups stay constant-time in folders of thousands of pictures.
    std::unordered_map<std::u16string, CDOSObject*> m_childIndex;
};
