// Registry access for the application's own settings, and the steps that load and save them.
#pragma once

#include <cstdint>
#include <string>

class CConfiguration {
public:
    static constexpr int32_t kDefaultPacketSize = 1536;
    static constexpr size_t kMaxPathChars = 260;

    CConfiguration();

    // The stored 32-bit value under root or root\subkey, or the default when it cannot be read.
    int32_t ReadNumber(const std::string& subkey, const std::string& name, int32_t defaultValue) const;
    // Creates root\subkey when missing; true when stored.
    bool WriteNumber(const std::string& subkey, const std::string& name, int32_t value);

    // PacketSize: a value above 0 replaces packetSize; anything else is logged and ignored.
    bool LoadSettings(int32_t& packetSize);
    // Stores the transport in use (0 serial, 1 Bluetooth) as root\Bluetooth Transport.
    bool SaveSettings(int32_t transport);
    // Transport as stored, 0 (serial) when the stored value is not 0 or 1.
    int32_t ReadTransport() const;

    bool WriteWorkingPath(const std::u16string& path);
    bool ReadWorkingPath(std::u16string& path) const;

    // "Invalid entry found: %s%s\%s: %d!" — root and subkey stand together without a separator.
    static void LogInvalidEntry(const char* function, const std::string& subkey, const std::string& name,
                                int32_t value);
};
