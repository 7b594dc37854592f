// A shoot setup: a named set of capture settings the camera back keeps, thirteen texts by index.
#pragma once

#include <array>
#include <string>
#include <string_view>

class CShootSetup {
public:
    enum Field : int {
        SETUP_NAME = 0,
        SHOOTING_FOLDER = 1,
        ISO = 2,
        IMAGE_QUALITY = 3,
        FRAMING = 4,
        TONING = 5,
        LIGHT = 6,
        SHARP_TABLE = 7,
        INPUT_PROFILE = 8,
        PREFIX = 9,
        ICC_FLAG = 10,
        OUTPUT_PROFILE = 11,
        CAMERA_TYPE = 12,
    };
    static constexpr int kFieldCount = 13;
    // The one-letter file prefix of a setup the camera sent without one.
    static constexpr const char16_t* kDefaultPrefix = u"A";

    // Every field at its default: names and settings "Default", no shooting folder, the default
    // prefix and ICC flag "0".
    CShootSetup();

    const std::u16string& Get(int field) const;
    // Ignored for an index outside 0-12.
    void Set(int field, std::u16string value);
    const std::u16string& Name() const { return m_fields[SETUP_NAME]; }
    const std::u16string& ShootingFolder() const { return m_fields[SHOOTING_FOLDER]; }

    // A user copy carries ".1" in its name; every other setup is predefined.
    bool IsUserCopy() const { return Name().find(u".1") != std::u16string::npos; }

    // The wire key of a field ("SetupName", "ShootingFolder", ...); empty outside 0-12.
    static std::u16string_view FieldKey(int field);
    // The field whose key begins with `key` (compared over the key's length), in the order the
    // camera's setup list names them; -1 when none does or the key is empty.
    static int FieldForKey(std::u16string_view key);

    // "SetupName=...,ShootingFolder=...,...,ICCFlag=..." and ",Prefix=..." when extended.
    std::u16string SetupString(bool extended) const;

    bool operator==(const CShootSetup&) const = default;

private:
    std::array<std::u16string, kFieldCount> m_fields;
};
