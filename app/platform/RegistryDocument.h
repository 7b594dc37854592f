// The in-memory form of the settings file: two trees of keys (one per root) holding DWORD and
// string values, read from and written to REGEDIT4 text. Knows nothing about files or locks;
// platform::Registry does the disk work around it.
#pragma once

#include "app/platform/Registry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct RegistryValue {
    std::string name;
    RegistryType type = RegistryType::Dword;
    uint32_t dword = 0;
    std::string text;
};

struct RegistryKeyNode {
    std::string name;
    std::vector<RegistryValue> values;
    std::vector<RegistryKeyNode> subKeys;

    RegistryKeyNode* FindSubKey(std::string_view subName);
    const RegistryKeyNode* FindSubKey(std::string_view subName) const;
    RegistryValue* FindValue(std::string_view valueName);
    const RegistryValue* FindValue(std::string_view valueName) const;
};

class RegistryDocument {
public:
    RegistryDocument();

    // Replaces the content with the parsed text. On failure the document is left empty and
    // error says where and why ("line 7: ..."). Empty or blank text is an empty registry.
    bool Parse(std::string_view text, std::string& error);
    std::string Serialize() const;

    // Splits "A\B\C" into its components; empty components (doubled or outer "\") are skipped.
    // False when a component cannot be stored in the file (line breaks, "]" at the end).
    static bool SplitKeyPath(const std::string& key, std::vector<std::string>& components);
    // Whether a value name can be stored (no line breaks).
    static bool IsStorableValueName(const std::string& name);
    // Case-insensitive for ASCII letters; other bytes (UTF-8) compare exactly.
    static bool NamesEqual(std::string_view a, std::string_view b);

    const RegistryKeyNode* FindKey(RegistryRoot root, const std::vector<std::string>& path) const;
    RegistryKeyNode* FindKey(RegistryRoot root, const std::vector<std::string>& path);
    // Creates the key and its missing parents; existing keys keep their stored case.
    RegistryKeyNode& CreateKey(RegistryRoot root, const std::vector<std::string>& path);
    // Removes the key with everything below it; false when it does not exist or path is empty.
    bool DeleteKeyTree(RegistryRoot root, const std::vector<std::string>& path);

private:
    RegistryKeyNode& RootNode(RegistryRoot root);
    const RegistryKeyNode& RootNode(RegistryRoot root) const;

    RegistryKeyNode m_localMachine;
    RegistryKeyNode m_currentUser;
};

}  // namespace platform
