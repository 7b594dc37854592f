// The commands of orinctl on an open, synchronised session. Each returns the process exit
// code: 0 success, 1 the camera refused (its text on stderr), 3 the link went or the camera
// did not answer. Results go to stdout; errors are one line on stderr.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class CtlSession;

enum CtlExit : int { CTL_OK = 0, CTL_REFUSED = 1, CTL_USAGE = 2, CTL_NO_LINK = 3 };

struct CtlWatchOptions {
    std::filesystem::path folder = ".";
    int count = 0;           // 0: no limit
    uint32_t timeoutMs = 0;  // 0: no limit
    // Also fetch the older pictures of a burst, once the camera has been quiet for a moment.
    bool all = false;
};

class CtlCommands {
public:
    explicit CtlCommands(CtlSession& session) : m_session(session) {}

    int Sync();
    // outPath "-" writes the bytes to stdout.
    int Get(const std::string& cameraName, const std::string& outPath);
    int ParamGet(const std::string& name);
    int ParamSet(const std::vector<std::pair<std::string, std::string>>& values);
    int Watch(const CtlWatchOptions& options);

    // The local file for a camera picture below folder: its folders mirrored, ".jpg" for its
    // extension; empty when the camera's name is unsafe (absolute, "..", empty parts).
    static std::filesystem::path LocalPathFor(const std::filesystem::path& folder, const std::string& cameraName);
    // Writes through a temporary file and a rename: a reader never finds half a picture.
    static bool WriteFileAtomically(const std::filesystem::path& path, const std::vector<uint8_t>& bytes,
                                    std::string& error);

    // Asks stop of a running watch (signal handlers).
    static void RequestStop();

private:
    // Downloads one preview; on failure fills error and returns the exit code it stands for.
    int Download(const std::string& cameraName, std::vector<uint8_t>& bytes, std::string& error);
    int Failure(bool refused, const std::string& what, const std::u16string& cameraText, std::string& error);

    CtlSession& m_session;
};
