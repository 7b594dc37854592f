// orinctl's shoot-setup side: the setups and shooting folder of a Sync answer as the program reads
// them, and "setup NAME FIELD=VALUE...", which edits a setup as the capture settings do (a
// predefined setup is changed in its user copy NAME.1) and sends it back to the camera.
#pragma once

#include "app/link/ProtocolCommand.h"

#include <string>
#include <utility>
#include <vector>

class CtlSession;

class CtlSetupCommands {
public:
    explicit CtlSetupCommands(CtlSession& session) : m_session(session) {}

    // "setup NAME: KEY=VALUE,..." per setup ("(default)" after the default's name) and
    // "shooting folder: FOLDER".
    static void PrintSetups(const ProtocolCommand& syncAnswer);
    // FIELD=VALUE pairs with known field names; false with a usage text.
    static bool CheckArguments(const std::vector<std::string>& args, std::string& usage);
    int Setup(const std::vector<std::string>& args);

private:
    CtlSession& m_session;
};
