#include "tools/orinctl/CtlSetupCommands.h"

#include "app/controller/CameraParameterLists.h"
#include "app/controller/ShootSetups.h"
#include "app/link/ProtocolLayer.h"
#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"
#include "tools/orinctl/CtlCommands.h"
#include "tools/orinctl/CtlSession.h"

#include <cstdio>

namespace {

std::string Utf8(std::u16string_view text) { return platform::ToUtf8(text); }

// The field a command-line key names (ignoring case), -1 when none.
int FieldOf(const std::string& key)
{
    for (int field = 0; field < CShootSetup::kFieldCount; ++field) {
        if (EqualsNoCase(platform::FromUtf8(key), CShootSetup::FieldKey(field))) {
            return field;
        }
    }
    return -1;
}

// The setups, their default and the Light list of a Sync answer, read as the program reads them.
void ReadSetups(const ProtocolCommand& sync, CShootSetups& setups, CCameraParameterLists& lists)
{
    for (const AttributePair& pair : sync.attributes) {
        const std::u16string value = pair.value.value_or(std::u16string());
        if (EqualsNoCase(pair.name, u"ShootSetup")) {
            setups.Parse(value);
        } else if (EqualsNoCase(pair.name, u"DefaultShootSetup")) {
            setups.SetDefaultName(value);
        } else if (EqualsNoCase(pair.name, u"Light")) {
            CCameraParameterLists::FillComBSTRArr(value, lists.m_saLight);
        }
    }
}

}  // namespace

void CtlSetupCommands::PrintSetups(const ProtocolCommand& syncAnswer)
{
    ORIN_TRACE("CtlSetupCommands::PrintSetups");
    CShootSetups setups;
    CCameraParameterLists lists;
    ReadSetups(syncAnswer, setups, lists);
    for (const CShootSetup& setup : setups.List()) {
        const bool isDefault = EqualsNoCase(setup.Name(), setups.DefaultName());
        std::printf("setup %s%s: %s\n", Utf8(setup.Name()).c_str(), isDefault ? " (default)" : "",
                    Utf8(setup.SetupString(setups.IsExtended())).c_str());
    }
    const CShootSetup* current = setups.DefaultSetup();
    std::printf("shooting folder: %s\n", current != nullptr ? Utf8(current->ShootingFolder()).c_str() : "");
    std::fflush(stdout);
}

bool CtlSetupCommands::CheckArguments(const std::vector<std::string>& args, std::string& usage)
{
    usage = "setup NAME FIELD=VALUE... (FIELD: ShootingFolder, ISO, ImageQuality, Framing, Toning, Light, "
            "SharpTable, InputProfile, OutputProfile, CameraType, Prefix, ICCFlag)";
    if (args.size() < 2) {
        return false;
    }
    for (size_t i = 1; i < args.size(); ++i) {
        const size_t eq = args[i].find('=');
        if (eq == std::string::npos || FieldOf(args[i].substr(0, eq)) <= CShootSetup::SETUP_NAME) {
            usage = "not a setup field: " + args[i] + "; " + usage;
            return false;
        }
    }
    return true;
}

int CtlSetupCommands::Setup(const std::vector<std::string>& args)
{
    ORIN_TRACE("CtlSetupCommands::Setup");
    ProtocolCommand sync = m_session.SyncAnswer();
    if (sync.commandID != SYNC_REPLY && !m_session.Layer().RequestSync(sync)) {
        std::fprintf(stderr, "orinctl: no answer from the camera\n");
        return CTL_NO_LINK;
    }
    CShootSetups setups;
    CCameraParameterLists lists;
    ReadSetups(sync, setups, lists);
    const int32_t index = setups.Find(platform::FromUtf8(args[0]));
    if (index < 0) {
        std::fprintf(stderr, "orinctl: the camera has no shoot setup %s\n", args[0].c_str());
        return CTL_REFUSED;
    }
    setups.SetDefaultName(setups.List()[index].Name());
    for (size_t i = 1; i < args.size(); ++i) {
        const size_t eq = args[i].find('=');
        std::u16string message;
        if (!setups.SetImgProp(FieldOf(args[i].substr(0, eq)), platform::FromUtf8(args[i].substr(eq + 1)),
                               &lists.m_saLight, &message)) {
            std::fprintf(stderr, "orinctl: %s\n", Utf8(message).c_str());
            return CTL_USAGE;
        }
    }
    std::u16string name;
    std::u16string value;
    std::u16string reason;
    if (!setups.BuildSaveAttribute(name, value, reason)) {
        std::fprintf(stderr, "orinctl: %s\n", reason.empty() ? "nothing to send" : Utf8(reason).c_str());
        return CTL_USAGE;
    }
    std::u16string errorText;
    if (!m_session.Layer().SetCameraParam({AttributePair(name, value)}, errorText)) {
        const bool refused = !errorText.empty() && m_session.Layer().IsInSync();
        std::fprintf(stderr, "orinctl: %s\n", refused ? Utf8(errorText).c_str() : "no answer from the camera");
        return refused ? CTL_REFUSED : CTL_NO_LINK;
    }
    std::printf("%s=%s\n", Utf8(name).c_str(), Utf8(value).c_str());
    std::fflush(stdout);
    return CTL_OK;
}
