#include "app/controller/ShootSetup.h"

namespace {

constexpr std::u16string_view kKeys[CShootSetup::kFieldCount] = {
    u"SetupName", u"ShootingFolder", u"ISO",    u"ImageQuality", u"Framing",       u"Toning",     u"Light",
    u"SharpTable", u"InputProfile",  u"Prefix", u"ICCFlag",      u"OutputProfile", u"CameraType",
};

// The order in which a received setup's keys are tried.
constexpr int kKeyOrder[CShootSetup::kFieldCount] = {
    CShootSetup::SETUP_NAME,    CShootSetup::SHOOTING_FOLDER, CShootSetup::ISO,         CShootSetup::IMAGE_QUALITY,
    CShootSetup::FRAMING,       CShootSetup::TONING,          CShootSetup::LIGHT,       CShootSetup::SHARP_TABLE,
    CShootSetup::INPUT_PROFILE, CShootSetup::OUTPUT_PROFILE,  CShootSetup::CAMERA_TYPE, CShootSetup::PREFIX,
    CShootSetup::ICC_FLAG,
};

// The order in which a setup is written back to the camera (Prefix only when extended).
constexpr int kWriteOrder[] = {
    CShootSetup::SETUP_NAME,    CShootSetup::SHOOTING_FOLDER, CShootSetup::ISO,           CShootSetup::IMAGE_QUALITY,
    CShootSetup::FRAMING,       CShootSetup::TONING,          CShootSetup::LIGHT,         CShootSetup::SHARP_TABLE,
    CShootSetup::INPUT_PROFILE, CShootSetup::OUTPUT_PROFILE,  CShootSetup::CAMERA_TYPE,   CShootSetup::ICC_FLAG,
};

}  // namespace

CShootSetup::CShootSetup()
{
    for (auto& field : m_fields) {
        field = u"Default";
    }
    m_fields[SHOOTING_FOLDER].clear();
    m_fields[PREFIX] = kDefaultPrefix;
    m_fields[ICC_FLAG] = u"0";
}

const std::u16string& CShootSetup::Get(int field) const
{
    static const std::u16string empty;
    return field >= 0 && field < kFieldCount ? m_fields[static_cast<size_t>(field)] : empty;
}

void CShootSetup::Set(int field, std::u16string value)
{
    if (field >= 0 && field < kFieldCount) {
        m_fields[static_cast<size_t>(field)] = std::move(value);
    }
}

std::u16string_view CShootSetup::FieldKey(int field)
{
    return field >= 0 && field < kFieldCount ? kKeys[field] : std::u16string_view();
}

int CShootSetup::FieldForKey(std::u16string_view key)
{
    // An empty key would "begin" every name and silently rename the setup.
    if (key.empty()) {
        return -1;
    }
    for (int field : kKeyOrder) {
        if (kKeys[field].substr(0, key.size()) == key) {
            return field;
        }
    }
    return -1;
}

std::u16string CShootSetup::SetupString(bool extended) const
{
    std::u16string text;
    for (int field : kWriteOrder) {
        if (!text.empty()) {
            text += u',';
        }
        text += kKeys[field];
        text += u'=';
        text += m_fields[static_cast<size_t>(field)];
    }
    if (extended) {
        text += u",Prefix=";
        text += m_fields[PREFIX];
    }
    return text;
}
