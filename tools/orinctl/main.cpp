// orinctl: the camera from the command line, on the program's own link code.
//
//   orinctl [--home DIR] [--device PATH] [--baud N] [--wait S] COMMAND ...
//     sync                              the camera's Sync answer, NAME=VALUE a line, in order
//     get FILE [-o OUT]                 the preview of camera file FILE (./Part1/Folder/Pic0001.mos)
//     param get NAME                    NAME=VALUE
//     param set NAME=VALUE...
//     watch [-o DIR] [--count N] [--timeout S] [--all]
//                                       tethered shooting: saves the newest picture's preview and
//                                       prints FULLNAME<TAB>LOCALPATH; older pictures of a burst
//                                       are skipped, or fetched after the burst with --all
//     setup NAME FIELD=VALUE...         edit a shoot setup (NAME.1 for a predefined one) and send it
//
// Exit codes: 0 success, 1 the camera refused (its text on stderr), 2 usage, 3 no link or no
// answer. The log goes to orinctl-log.txt in the program folder, never to the terminal.
#include "app/controller/AppLogger.h"
#include "app/platform/Paths.h"
#include "tools/orinctl/CtlCommands.h"
#include "tools/orinctl/CtlSession.h"
#include "tools/orinctl/CtlSetupCommands.h"
#include "tools/orinctl/CtlStorageCommands.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

void Usage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: orinctl [--home DIR] [--device PATH] [--baud N] [--wait S] COMMAND ...\n"
                 "commands:\n"
                 "  sync                                  print the camera's configuration\n"
                 "  get FILE [-o OUT]                     save the preview of FILE (a camera name such as\n"
                 "                                        ./Part1/Folder/Pic0001.mos) to OUT (\"-\": stdout)\n"
                 "  ls FOLDER                             list a folder: NAME,d or NAME,f a line\n"
                 "  props FILE                            print the picture's properties, NAME=VALUE a line\n"
                 "  mark FILE good|nogood|unmarked        mark a picture\n"
                 "  annotate FILE TEXT                    annotate a picture\n"
                 "  mv SRC DST | cp SRC DST               move or copy a picture\n"
                 "  rm PATH | mkdir PATH                  delete a picture or folder, make a folder\n"
                 "  recover PARTITION | qformat PARTITION recover or quick-format a partition\n"
                 "  param get NAME                        print NAME=VALUE\n"
                 "  param set NAME=VALUE...               set camera values\n"
                 "  watch [-o DIR] [--count N] [--timeout S] [--all]\n"
                 "                                        save the preview of each new picture below DIR; in a\n"
                 "                                        burst only the newest, the others after it with --all\n"
                 "  setup NAME FIELD=VALUE...             edit a shoot setup and send it to the camera\n"
                 "options:\n"
                 "  --home DIR     program folder (settings, log); default $ORIN_HOME or ~/.local/share/Orin KX-20\n"
                 "  --device PATH  serial device; default the Device setting, else /dev/ttyUSB0\n"
                 "  --baud N       line speed; default the Baudrate setting, else 230400\n"
                 "  --wait S       seconds to wait for the device to appear (default 5)\n"
                 "exit codes: 0 success, 1 the camera refused, 2 usage, 3 no link or no answer\n");
}

int UsageError(const std::string& text)
{
    std::fprintf(stderr, "orinctl: %s (orinctl --help for usage)\n", text.c_str());
    return CTL_USAGE;
}

bool ParseNumber(const std::string& text, long low, long high, long& out)
{
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

void OnSignal(int)
{
    CtlCommands::RequestStop();
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string device;
    long baud = 0;
    long waitSeconds = 5;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return CTL_OK;
        }
        if (arg.rfind("--", 0) != 0) {
            break;
        }
        if (i + 1 >= args.size()) {
            return UsageError(arg + " needs a value");
        }
        const std::string& value = args[++i];
        if (arg == "--home") {
            setenv("ORIN_HOME", value.c_str(), 1);
        } else if (arg == "--device") {
            device = value;
        } else if (arg == "--baud") {
            if (!ParseNumber(value, 1, 4000000, baud)) {
                return UsageError("bad baud rate: " + value);
            }
        } else if (arg == "--wait") {
            if (!ParseNumber(value, 0, 3600, waitSeconds)) {
                return UsageError("bad wait: " + value);
            }
        } else {
            return UsageError("unknown option " + arg);
        }
    }
    if (i >= args.size()) {
        Usage(stderr);
        return CTL_USAGE;
    }
    const std::string command = args[i++];
    std::vector<std::string> rest(args.begin() + static_cast<long>(i), args.end());

    // Check the command line completely before touching the camera.
    std::string getFile;
    std::string getOut;
    std::string paramName;
    std::vector<std::pair<std::string, std::string>> paramValues;
    CtlWatchOptions watch;
    bool paramSet = false;
    if (command == "sync") {
        if (!rest.empty()) {
            return UsageError("sync takes no arguments");
        }
    } else if (CtlStorageCommands::Knows(command)) {
        std::string usage;
        if (!CtlStorageCommands::CheckArguments(command, rest, usage)) {
            return UsageError("usage: " + usage);
        }
    } else if (command == "get") {
        for (size_t k = 0; k < rest.size(); ++k) {
            if (rest[k] == "-o") {
                if (k + 1 >= rest.size()) {
                    return UsageError("-o needs a file");
                }
                getOut = rest[++k];
            } else if (getFile.empty()) {
                getFile = rest[k];
            } else {
                return UsageError("get takes one camera file");
            }
        }
        if (getFile.empty()) {
            return UsageError("get needs a camera file, e.g. ./Part1/Folder/Pic0001.mos");
        }
    } else if (command == "param") {
        if (rest.size() == 2 && rest[0] == "get") {
            paramName = rest[1];
        } else if (rest.size() >= 2 && rest[0] == "set") {
            paramSet = true;
            for (size_t k = 1; k < rest.size(); ++k) {
                size_t eq = rest[k].find('=');
                if (eq == std::string::npos || eq == 0) {
                    return UsageError("param set takes NAME=VALUE, not " + rest[k]);
                }
                paramValues.emplace_back(rest[k].substr(0, eq), rest[k].substr(eq + 1));
            }
        } else {
            return UsageError("param get NAME | param set NAME=VALUE...");
        }
    } else if (command == "setup") {
        std::string usage;
        if (!CtlSetupCommands::CheckArguments(rest, usage)) {
            return UsageError(usage);
        }
    } else if (command == "watch") {
        for (size_t k = 0; k < rest.size(); ++k) {
            long number = 0;
            if (rest[k] == "--all") {
                watch.all = true;
                continue;
            }
            if (k + 1 >= rest.size()) {
                return UsageError(rest[k] == "-o" || rest[k] == "--count" || rest[k] == "--timeout"
                                      ? rest[k] + " needs a value"
                                      : "unknown watch argument " + rest[k]);
            }
            if (rest[k] == "-o") {
                watch.folder = rest[++k];
            } else if (rest[k] == "--count") {
                if (!ParseNumber(rest[++k], 1, 1000000, number)) {
                    return UsageError("bad count: " + rest[k]);
                }
                watch.count = static_cast<int>(number);
            } else if (rest[k] == "--timeout") {
                if (!ParseNumber(rest[++k], 1, 86400 * 365, number)) {
                    return UsageError("bad timeout: " + rest[k]);
                }
                watch.timeoutMs = static_cast<uint32_t>(number) * 1000u;
            } else {
                return UsageError("unknown watch argument " + rest[k]);
            }
        }
    } else {
        return UsageError("unknown command " + command);
    }

    std::signal(SIGPIPE, SIG_IGN);
    if (command == "watch") {
        // A tethered session ends cleanly between pictures; other commands may simply be killed,
        // as nothing is written before a picture has arrived whole.
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
    }

    // A log of its own: the program's log.txt is recreated at each start and must not be cut
    // short by a command run beside the running program.
    auto logger = std::make_unique<CAppLogger>(platform::Paths::ProgramFolder() / "orinctl-log.txt", true, true);
    CAppLogger::Install(logger.get());
    int code = CTL_OK;
    {
        CtlSession session(device, static_cast<uint32_t>(baud));
        if (!session.Open(static_cast<uint32_t>(waitSeconds) * 1000u)) {
            std::fprintf(stderr, "orinctl: %s\n", session.Error().c_str());
            code = CTL_NO_LINK;
        } else {
            CtlCommands commands(session);
            if (CtlStorageCommands::Knows(command)) {
                code = CtlStorageCommands(session).Run(command, rest);
            } else if (command == "sync") {
                code = commands.Sync();
            } else if (command == "setup") {
                code = CtlSetupCommands(session).Setup(rest);
            } else if (command == "get") {
                code = commands.Get(getFile, getOut);
            } else if (command == "param") {
                code = paramSet ? commands.ParamSet(paramValues) : commands.ParamGet(paramName);
            } else {
                code = commands.Watch(watch);
            }
        }
    }
    CAppLogger::Install(nullptr);
    return code;
}
