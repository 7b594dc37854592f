#include "app/platform/Paths.h"

#include "app/platform/Log.h"

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

namespace fs = std::filesystem;

constexpr const char* kFolderName = "Orin KX-20";

std::string EnvironmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

fs::path HomeFolder()
{
    std::string home = EnvironmentValue("HOME");
    if (!home.empty()) {
        return home;
    }
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        return pw->pw_dir;
    }
    return fs::temp_directory_path();
}

}  // namespace

fs::path Paths::ProgramFolder()
{
    ORIN_TRACE("Paths::ProgramFolder");
    // Computed at every call: tests (and the installer) switch ORIN_HOME at run time.
    fs::path folder;
    std::string orinHome = EnvironmentValue("ORIN_HOME");
    std::string dataHome = EnvironmentValue("XDG_DATA_HOME");
    if (!orinHome.empty()) {
        folder = orinHome;
    } else if (!dataHome.empty() && fs::path(dataHome).is_absolute()) {
        // A relative XDG_DATA_HOME is invalid and must be ignored.
        folder = fs::path(dataHome) / kFolderName;
    } else {
        folder = HomeFolder() / ".local" / "share" / kFolderName;
    }
    std::error_code ec;
    folder = fs::absolute(folder, ec).lexically_normal();
    if (folder.has_filename() == false && folder.has_parent_path()) {
        folder = folder.parent_path();
    }
    if (!fs::is_directory(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec) {
            ORIN_LOG_ERROR("Paths::ProgramFolder", "Cannot create the program folder %s: %s", folder.c_str(),
                           ec.message().c_str());
        }
    }
    return folder;
}

fs::path Paths::LogFile()
{
    ORIN_TRACE("Paths::LogFile");
    return ProgramFolder() / "log.txt";
}

fs::path Paths::CapturesFolder()
{
    ORIN_TRACE("Paths::CapturesFolder");
    return ProgramFolder() / "Last Orin Captures/";
}

fs::path Paths::RegistryFile()
{
    ORIN_TRACE("Paths::RegistryFile");
    return ProgramFolder() / "registry.reg";
}

std::string Paths::SplashPath()
{
    ORIN_TRACE("Paths::SplashPath");
    return std::string("xx../") + "Orin Splash Image.jpg";
}

}  // namespace platform
