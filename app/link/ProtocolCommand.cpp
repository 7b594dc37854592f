#include "app/link/ProtocolCommand.h"

#include "app/platform/Log.h"

const char16_t* const g_CommandTable[kCommandCount] = {
    u"none",          u"ReSyncRequest",    u"RequestSync",    u"FileCommand",
    u"GetImage",      u"ImageFunction",    u"GetPictureParams", u"SetCameraParam",
    u"GetCameraParam", u"ReSyncLive",      u"ReSyncResponse", u"Sync",
    u"PictureTaken",  u"Ack",              u"Error",
};

int32_t CommandIdFromName(std::u16string_view name)
{
    ORIN_TRACE("CommandIdFromName");
    for (int32_t i = 0; i < kCommandCount; ++i) {
        if (name == g_CommandTable[i]) {
            return i;
        }
    }
    return COMMAND_NONE;
}

const char16_t* CommandNameFromId(int32_t id)
{
    ORIN_TRACE("CommandNameFromId");
    if (id < 0 || id >= kCommandCount) {
        return g_CommandTable[COMMAND_NONE];
    }
    return g_CommandTable[id];
}

void ProtocolCommand::Release()
{
    ORIN_TRACE("ProtocolCommand::Release");
    commandID = COMMAND_NONE;
    AttributeList().swap(attributes);
    std::vector<uint8_t>().swap(attachment);
}

void ProtocolCommand::CopyFrom(const ProtocolCommand& source)
{
    ORIN_TRACE("ProtocolCommand::CopyFrom");
    if (&source == this) {
        return;
    }
    commandID = source.commandID;
    attributes = source.attributes;
    attachment = source.attachment;
}

const std::u16string* ProtocolCommand::FindAttribute(std::u16string_view name) const
{
    ORIN_TRACE("ProtocolCommand::FindAttribute");
    for (const AttributePair& pair : attributes) {
        if (pair.name == name) {
            return pair.value ? &*pair.value : nullptr;
        }
    }
    return nullptr;
}

namespace {

char16_t FoldAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

}  // namespace

bool EqualsNoCase(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

const std::u16string* ProtocolCommand::FindAttributeNoCase(std::u16string_view name) const
{
    ORIN_TRACE("ProtocolCommand::FindAttributeNoCase");
    for (const AttributePair& pair : attributes) {
        if (EqualsNoCase(pair.name, name)) {
            return pair.value ? &*pair.value : nullptr;
        }
    }
    return nullptr;
}
