// The parsed form of one camera message and the table of command names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Position of an element name in the command table; 0 stands for every unknown name.
enum ProtocolCommandId : int32_t {
    COMMAND_NONE = 0,
    RESYNC_REQUEST = 1,
    REQUEST_SYNC = 2,
    FILE_COMMAND = 3,
    GET_IMAGE = 4,
    IMAGE_FUNCTION = 5,
    GET_PICTURE_PARAMS = 6,
    SET_CAMERA_PARAM = 7,
    GET_CAMERA_PARAM = 8,
    RESYNC_LIVE = 9,
    RESYNC_RESPONSE = 10,
    SYNC_REPLY = 11,
    PICTURE_TAKEN = 12,
    ACK_REPLY = 13,
    ERROR_REPLY = 14,
};

inline constexpr int kCommandCount = 15;

// "none", "ReSyncRequest", ... "Error": index = command identifier.
extern const char16_t* const g_CommandTable[kCommandCount];

// Case-sensitive lookup from index 0; 0 when the name is not in the table.
int32_t CommandIdFromName(std::u16string_view name);
// The table's name for an identifier, "none" for anything out of range.
const char16_t* CommandNameFromId(int32_t id);
// Compares ignoring the case of ASCII letters (attribute names and values such as busy="YES").
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

struct AttributePair {
    std::u16string name;
    std::optional<std::u16string> value;  // absent: sent as a bare word

    AttributePair() = default;
    AttributePair(std::u16string n, std::u16string v) : name(std::move(n)), value(std::move(v)) {}
    explicit AttributePair(std::u16string n) : name(std::move(n)) {}
    bool operator==(const AttributePair&) const = default;
};

using AttributeList = std::vector<AttributePair>;

// One received message: identifier, attributes in document order, payload bytes that followed.
// Copies are deep (the containers own their data); a new record is empty with identifier 0.
struct ProtocolCommand {
    int32_t commandID = COMMAND_NONE;
    AttributeList attributes;
    std::vector<uint8_t> attachment;  // empty: no payload

    uint32_t attributeCount() const { return static_cast<uint32_t>(attributes.size()); }
    uint32_t attachmentSize() const { return static_cast<uint32_t>(attachment.size()); }
    bool HasAttachment() const { return !attachment.empty(); }

    // Frees the attributes and the payload and sets the identifier back to 0.
    void Release();
    // Deep copy; copying a record onto itself does nothing.
    void CopyFrom(const ProtocolCommand& source);

    // Value of the first attribute with this exact name; null when absent or without a value.
    const std::u16string* FindAttribute(std::u16string_view name) const;
    // Same, names compared without regard to ASCII case.
    const std::u16string* FindAttributeNoCase(std::u16string_view name) const;
};
