// The program folder and the paths derived from it.
#pragma once

#include <filesystem>

namespace platform {

class Paths {
public:
    // $ORIN_HOME when set, else $XDG_DATA_HOME/Orin KX-20 (default ~/.local/share/Orin KX-20).
    // Created on first use.
    static std::filesystem::path ProgramFolder();
    static std::filesystem::path LogFile();        // program folder + "/log.txt"
    static std::filesystem::path CapturesFolder(); // program folder + "/Last Orin Captures/"
    static std::filesystem::path RegistryFile();   // program folder + "/registry.reg"
    // "xx../Orin Splash Image.jpg": never a real file; the full path of the placeholder entry of
    // an empty folder.
    static std::string SplashPath();
};

}  // namespace platform
