// The simulated camera's disk, kept in a real folder of the host: each top-level folder is a
// partition, folders below are folders, and each JPEG file is one picture whose preview is that
// JPEG. The camera shows a picture under its raw-file name: the JPEG's stem with ".mos"
// (host "Part1/Folder/Pic0001.jpg" is the camera's "./Part1/Folder/Pic0001.mos"); a request may
// name either. Other host files are not part of the camera's disk.
//
// Camera names come from the far end and are never trusted: "..", ".", empty components, a
// backslash or a path leaving the disk folder through a link are refused.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace camsim {

struct SimDiskEntry {
    std::string name;  // camera name of the entry within its folder ("Pic0001.mos", "Sub/")
    bool isFolder = false;
    uint64_t size = 0;  // preview bytes for a picture
    std::filesystem::file_time_type modified;
};

class SimDisk {
public:
    // Serves an existing folder; false when it is not a folder.
    bool Open(const std::filesystem::path& root);
    // Fills an empty (or new) folder with the demo disk: two partitions, nested folders and a few
    // dozen pictures of the known scenes (320 x 240), then serves it.
    bool CreateDemo(const std::filesystem::path& root, int pictures = 30);

    const std::filesystem::path& Root() const { return m_root; }

    // The host path of a camera name ("./Part1/Folder/" or "./Part1/Folder/Pic0001.mos");
    // nullopt when the name is unsafe or names nothing on the disk.
    std::optional<std::filesystem::path> Resolve(const std::string& cameraName) const;
    // The same without requiring the entry to exist (for creating folders and pictures).
    std::optional<std::filesystem::path> HostPath(const std::string& cameraName) const;
    static bool IsSafeName(const std::string& cameraName);

    // The preview bytes of a picture; false with a reason when there is none.
    bool ReadPreview(const std::string& cameraName, std::vector<uint8_t>& bytes, std::string& error) const;
    // The entries of a folder, folders first, each group by name.
    bool List(const std::string& folderName, std::vector<SimDiskEntry>& entries) const;
    std::vector<std::string> Partitions() const;

    // Stores a new picture in the folder (created when missing) under the next free number and
    // returns its camera name ("./Part1/Folder/Pic0031.mos"), or an empty string on failure.
    std::string AddPicture(const std::string& folderName, const std::vector<uint8_t>& jpeg);

    // The camera name of a picture's host file.
    std::string CameraNameOf(const std::filesystem::path& hostFile) const;
    static bool IsPictureFile(const std::filesystem::path& hostFile);

private:
    std::filesystem::path m_root;
};

}  // namespace camsim
