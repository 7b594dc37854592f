#include "app/controller/Configuration.h"

#include "app/platform/Log.h"
#include "app/platform/Registry.h"
#include "app/platform/TextConvert.h"

namespace {

std::string KeyOf(const std::string& subkey)
{
    std::string key = platform::kOrinRootKey;
    if (!subkey.empty()) {
        key += "\\" + subkey;
    }
    return key;
}

}  // namespace

CConfiguration::CConfiguration() { ORIN_TRACE("CConfiguration::CConfiguration"); }

int32_t CConfiguration::ReadNumber(const std::string& subkey, const std::string& name, int32_t defaultValue) const
{
    ORIN_TRACE("CConfiguration::ReadNumber");
    auto value = platform::DefaultRegistry().ReadDword(platform::RegistryRoot::LocalMachine, KeyOf(subkey), name);
    return value ? static_cast<int32_t>(*value) : defaultValue;
}

bool CConfiguration::WriteNumber(const std::string& subkey, const std::string& name, int32_t value)
{
    ORIN_TRACE("CConfiguration::WriteNumber");
    return platform::DefaultRegistry().WriteDword(platform::RegistryRoot::LocalMachine, KeyOf(subkey), name,
                                                  static_cast<uint32_t>(value));
}

void CConfiguration::LogInvalidEntry(const char* function, const std::string& subkey, const std::string& name,
                                     int32_t value)
{
    ORIN_LOG_WARNING(function, "Invalid entry found: %s%s\\%s: %d!", platform::kOrinRootKey, subkey.c_str(),
                     name.c_str(), value);
}

bool CConfiguration::LoadSettings(int32_t& packetSize)
{
    ORIN_TRACE("CConfiguration::LoadSettings");
    const int32_t value = ReadNumber("", "PacketSize", kDefaultPacketSize);
    if (value > 0) {
        packetSize = value;
        // The handheld's text says kilobytes; the value has always been a byte count.
        ORIN_LOG_INFO("CConfiguration::LoadSettings", "CConfiguration::LoadSettings Packet Size: %d Kbytes", value);
    } else {
        LogInvalidEntry("CConfiguration::LoadSettings", "", "PacketSize", value);
    }
    return true;
}

bool CConfiguration::SaveSettings(int32_t transport)
{
    ORIN_TRACE("CConfiguration::SaveSettings");
    if (!WriteNumber("Bluetooth", "Transport", transport)) {
        ORIN_LOG_ERROR("CConfiguration::SaveSettings", "Failed to write transport settings to registry.");
        return false;
    }
    return true;
}

int32_t CConfiguration::ReadTransport() const
{
    ORIN_TRACE("CConfiguration::ReadTransport");
    const int32_t value = ReadNumber("Bluetooth", "Transport", 0);
    if (value != 0 && value != 1) {
        LogInvalidEntry("CConfiguration::ReadTransport", "Bluetooth", "Transport", value);
        return 0;
    }
    return value;
}

bool CConfiguration::WriteWorkingPath(const std::u16string& path)
{
    ORIN_TRACE("CConfiguration::WriteWorkingPath");
    std::u16string stored = path.substr(0, kMaxPathChars);
    return platform::DefaultRegistry().WriteString(platform::RegistryRoot::LocalMachine, platform::kOrinRootKey,
                                                   "WorkingPath", platform::ToUtf8(stored));
}

bool CConfiguration::ReadWorkingPath(std::u16string& path) const
{
    ORIN_TRACE("CConfiguration::ReadWorkingPath");
    auto value = platform::DefaultRegistry().ReadString(platform::RegistryRoot::LocalMachine, platform::kOrinRootKey,
                                                        "WorkingPath");
    if (!value) {
        return false;
    }
    path = platform::FromUtf8(*value).substr(0, kMaxPathChars);
    return true;
}
