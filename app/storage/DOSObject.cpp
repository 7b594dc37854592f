#include "app/storage/DOSObject.h"

#include <algorithm>

#include "app/platform/Log.h"
#include "app/storage/ObjectNames.h"

CDOSObject::CDOSObject(int32_t type, std::u16string_view name, CCache* owner)
    : m_nType(type), m_strName(name), m_strTimeStamp(storage::CurrentTimeStamp()), m_pOwner(owner)
{
}

CDOSObject::~CDOSObject()
{
    ORIN_TRACE("CDOSObject::~CDOSObject");
    DestroyChildren();
}

std::u16string CDOSObject::GetFullName() const
{
    ORIN_TRACE("CDOSObject::GetFullName");
    std::vector<const CDOSObject*> chain;
    for (const CDOSObject* node = this; node != nullptr; node = node->m_pParent) {
        chain.push_back(node);
    }
    std::u16string full;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        full += (*it)->m_strName;
        if ((*it)->IsDirectory()) {
            full += u'/';
        }
    }
    return full;
}

int CDOSObject::Depth() const
{
    ORIN_TRACE("CDOSObject::Depth");
    int depth = 0;
    for (const CDOSObject* node = m_pParent; node != nullptr; node = node->m_pParent) {
        ++depth;
    }
    return depth;
}

bool CDOSObject::IsInSubtreeOf(const CDOSObject* ancestor) const
{
    ORIN_TRACE("CDOSObject::IsInSubtreeOf");
    if (ancestor == nullptr) {
        return false;
    }
    for (const CDOSObject* node = this; node != nullptr; node = node->m_pParent) {
        if (node == ancestor) {
            return true;
        }
    }
    return false;
}

bool CDOSObject::IsCached() const
{
    ORIN_TRACE("CDOSObject::IsCached");
    return m_bCached;
}

void CDOSObject::SetCached(bool cached)
{
    ORIN_TRACE("CDOSObject::SetCached");
    m_bCached = cached;
}

void CDOSObject::SetDateTime(const std::u16string& timestamp)
{
    ORIN_TRACE("CDOSObject::SetDateTime");
    m_strTimeStamp = timestamp;
}

bool CDOSObject::AddChild(std::unique_ptr<CDOSObject> node)
{
    ORIN_TRACE("CDOSObject::AddChild");
    if (!node) {
        return false;
    }
    node->m_pParent = this;
    m_childIndex.try_emplace(node->m_strName, node.get());
    m_children.push_back(std::move(node));
    return true;
}

std::unique_ptr<CDOSObject> CDOSObject::Clone() const
{
    ORIN_TRACE("CDOSObject::Clone");
    return nullptr;
}

CDOSObject* CDOSObject::FindChild(std::u16string_view name) const
{
    ORIN_TRACE("CDOSObject::FindChild");
    const auto found = m_childIndex.find(std::u16string(name));
    return found == m_childIndex.end() ? nullptr : found->second;
}

std::unique_ptr<CDOSObject> CDOSObject::DetachChild(const CDOSObject* child)
{
    ORIN_TRACE("CDOSObject::DetachChild");
    const auto it = std::find_if(m_children.begin(), m_children.end(),
                                 [child](const std::unique_ptr<CDOSObject>& p) { return p.get() == child; });
    if (it == m_children.end()) {
        return nullptr;
    }
    std::unique_ptr<CDOSObject> node = std::move(*it);
    m_children.erase(it);
    const auto indexed = m_childIndex.find(node->m_strName);
    if (indexed != m_childIndex.end() && indexed->second == node.get()) {
        m_childIndex.erase(indexed);
        // A namesake further down the list becomes the one lookups find.
        for (const auto& other : m_children) {
            if (other->m_strName == node->m_strName) {
                m_childIndex.emplace(other->m_strName, other.get());
                break;
            }
        }
    }
    node->m_pParent = nullptr;
    return node;
}

void CDOSObject::DestroyChildren()
{
    ORIN_TRACE("CDOSObject::DestroyChildren");
    m_childIndex.clear();
    m_children.clear();
}

bool CDOSObject::Rename(std::u16string_view name)
{
    ORIN_TRACE("CDOSObject::Rename");
    if (m_pParent != nullptr) {
        return false;
    }
    m_strName = name;
    return true;
}
