// orinctl's commands on the camera's disk, through the program's storage model and its local
// picture cache: ls, props, mark, annotate, mv, cp, rm, mkdir, recover, qformat, and get (a
// picture already in the cache and unchanged on the camera is not downloaded again).
#pragma once

#include <memory>
#include <string>
#include <vector>

class CCache;
class CtlSession;

class CtlStorageCommands {
public:
    explicit CtlStorageCommands(CtlSession& session);
    ~CtlStorageCommands();
    CtlStorageCommands(const CtlStorageCommands&) = delete;
    CtlStorageCommands& operator=(const CtlStorageCommands&) = delete;

    // True for the commands this class runs (get included).
    static bool Knows(const std::string& command);
    // Checks the arguments before the camera is touched; false with a usage text.
    static bool CheckArguments(const std::string& command, const std::vector<std::string>& args, std::string& usage);

    // Runs a checked command; returns the process exit code.
    int Run(const std::string& command, const std::vector<std::string>& args);

private:
    int Ls(const std::string& folder);
    int Props(const std::string& file);
    int Mark(const std::string& file, const std::string& mark);
    int Annotate(const std::string& file, const std::string& text);
    int Get(const std::string& file, const std::string& outPath);
    // The storage model, listed from the camera on first use.
    bool OpenModel();
    // The exit code and stderr line of a refusal (or of a lost link).
    int Refused(const std::string& what, const std::u16string& text);

    CtlSession& m_session;
    std::unique_ptr<CCache> m_pCache;
};
