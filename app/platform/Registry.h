// The settings store: one REGEDIT4 text file in the program folder standing in for the handheld's
// registry. Key and value names are matched without regard to case and keep the case they were
// created with. Every change re-reads the file under an exclusive flock and replaces it
// atomically, so the installer and the program can share it and a crash never leaves it torn.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class RegistryRoot { LocalMachine, CurrentUser };

// "Software\Vantor\Orin KX-20": the key every setting of the program lives under.
inline constexpr const char* kOrinRootKey = "Software\\Vantor\\Orin KX-20";

enum class RegistryType { Dword, String };

struct RegistryValueInfo {
    std::string name;
    RegistryType type;
};

class Registry {
public:
    explicit Registry(std::filesystem::path file);

    // Keys are paths below the root joined by "\" (for example "Software\Vantor\Orin KX-20\Log").
    bool KeyExists(RegistryRoot root, const std::string& key) const;
    bool CreateKey(RegistryRoot root, const std::string& key);
    std::vector<std::string> EnumSubKeys(RegistryRoot root, const std::string& key) const;
    std::vector<RegistryValueInfo> EnumValues(RegistryRoot root, const std::string& key) const;

    std::optional<uint32_t> ReadDword(RegistryRoot root, const std::string& key, const std::string& value) const;
    std::optional<std::string> ReadString(RegistryRoot root, const std::string& key, const std::string& value) const;
    // Writing creates the key (and its parents) when missing.
    bool WriteDword(RegistryRoot root, const std::string& key, const std::string& value, uint32_t data);
    bool WriteString(RegistryRoot root, const std::string& key, const std::string& value, const std::string& data);

    bool DeleteValue(RegistryRoot root, const std::string& key, const std::string& value);
    bool DeleteKeyTree(RegistryRoot root, const std::string& key);

    const std::filesystem::path& File() const { return m_file; }

private:
    std::filesystem::path m_file;
};

// The registry of the current program folder (follows ORIN_HOME, so tests get their own).
Registry DefaultRegistry();

}  // namespace platform
