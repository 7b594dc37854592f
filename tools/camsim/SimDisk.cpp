#include "tools/camsim/SimDisk.h"

#include "app/platform/Log.h"
#include "tools/camsim/SimPictures.h"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <strings.h>
#include <unistd.h>

namespace camsim {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> SplitComponents(const std::string& name)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= name.size()) {
        size_t slash = name.find('/', start);
        if (slash == std::string::npos) {
            parts.push_back(name.substr(start));
            break;
        }
        parts.push_back(name.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

bool HasExtension(const fs::path& file, const char* ext)
{
    return strcasecmp(file.extension().string().c_str(), ext) == 0;
}

bool WriteFileAtomically(const fs::path& target, const std::vector<uint8_t>& bytes)
{
    // A picture appears whole or not at all, as on the camera's own disk.
    fs::path temp = target;
    temp += ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace

bool SimDisk::Open(const fs::path& root)
{
    ORIN_TRACE("SimDisk::Open");
    std::error_code ec;
    fs::path canonical = fs::canonical(root, ec);
    if (ec || !fs::is_directory(canonical, ec)) {
        ORIN_LOG_ERROR("SimDisk::Open", "not a folder: %s", root.c_str());
        return false;
    }
    m_root = canonical;
    return true;
}

bool SimDisk::CreateDemo(const fs::path& root, int pictures)
{
    ORIN_TRACE("SimDisk::CreateDemo");
    std::error_code ec;
    fs::create_directories(root, ec);
    if (!Open(root)) {
        return false;
    }
    // Two partitions; the shooting folder of the default setup is ./Part1/Folder/.
    const char* folders[] = {"./Part1/Folder/", "./Part1/Folder/Sub/", "./Part1/Studio/",
                             "./Part2/Archive/", "./Part2/Archive/2026/"};
    for (const char* folder : folders) {
        std::optional<fs::path> host = HostPath(folder);
        if (!host || !fs::create_directories(*host, ec)) {
            if (ec) {
                return false;
            }
        }
    }
    for (int i = 0; i < pictures; ++i) {
        const char* folder = folders[i % 5];
        SimScene scene = SimPictures::SceneForShot(static_cast<unsigned>(i));
        std::vector<uint8_t> jpeg = SimPictures::Jpeg(scene, 320, 240, 92, static_cast<uint32_t>(i + 1));
        if (AddPicture(folder, jpeg).empty()) {
            return false;
        }
    }
    return true;
}

bool SimDisk::IsSafeName(const std::string& cameraName)
{
    ORIN_TRACE("SimDisk::IsSafeName");
    if (cameraName.size() < 2 || cameraName.compare(0, 2, "./") != 0) {
        return cameraName == ".";
    }
    if (cameraName.find('\\') != std::string::npos || cameraName.find('\0') != std::string::npos) {
        return false;
    }
    std::vector<std::string> parts = SplitComponents(cameraName.substr(2));
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        bool last = i + 1 == parts.size();
        if (part.empty()) {
            if (last) {
                continue;  // the trailing "/" of a folder name
            }
            return false;
        }
        if (part == "." || part == "..") {
            return false;
        }
    }
    return true;
}

std::optional<fs::path> SimDisk::HostPath(const std::string& cameraName) const
{
    ORIN_TRACE("SimDisk::HostPath");
    if (m_root.empty() || !IsSafeName(cameraName)) {
        return std::nullopt;
    }
    if (cameraName == "." || cameraName == "./") {
        return m_root;
    }
    std::string relative = cameraName.substr(2);
    if (!relative.empty() && relative.back() == '/') {
        relative.pop_back();
    }
    fs::path host = m_root / relative;
    // The lexical check above keeps ".." out; a link inside the disk folder must not lead out.
    std::error_code ec;
    fs::path parent = fs::weakly_canonical(host.parent_path(), ec);
    if (ec) {
        return std::nullopt;
    }
    std::string rootText = m_root.string();
    std::string parentText = parent.string();
    if (parentText.compare(0, rootText.size(), rootText) != 0 ||
        (parentText.size() > rootText.size() && parentText[rootText.size()] != '/')) {
        return std::nullopt;
    }
    return host;
}

std::optional<fs::path> SimDisk::Resolve(const std::string& cameraName) const
{
    ORIN_TRACE("SimDisk::Resolve");
    std::optional<fs::path> host = HostPath(cameraName);
    if (!host) {
        return std::nullopt;
    }
    std::error_code ec;
    bool wantFolder = cameraName == "." || cameraName.back() == '/';
    if (wantFolder) {
        if (fs::is_directory(*host, ec)) {
            return host;
        }
        return std::nullopt;
    }
    if (fs::is_regular_file(*host, ec) && IsPictureFile(*host)) {
        return host;
    }
    // The camera's raw-file name: look for the JPEG with the same stem.
    for (const char* ext : {".jpg", ".JPG", ".jpeg", ".JPEG"}) {
        fs::path candidate = *host;
        candidate.replace_extension(ext);
        if (fs::is_regular_file(candidate, ec)) {
            return candidate;
        }
    }
    return std::nullopt;
}

bool SimDisk::IsPictureFile(const fs::path& hostFile)
{
    ORIN_TRACE("SimDisk::IsPictureFile");
    return HasExtension(hostFile, ".jpg") || HasExtension(hostFile, ".jpeg");
}

std::string SimDisk::CameraNameOf(const fs::path& hostFile) const
{
    ORIN_TRACE("SimDisk::CameraNameOf");
    std::error_code ec;
    fs::path relative = fs::relative(hostFile, m_root, ec);
    if (ec) {
        return {};
    }
    relative.replace_extension(".mos");
    return "./" + relative.generic_string();
}

bool SimDisk::ReadPreview(const std::string& cameraName, std::vector<uint8_t>& bytes, std::string& error) const
{
    ORIN_TRACE("SimDisk::ReadPreview");
    bytes.clear();
    if (!IsSafeName(cameraName)) {
        error = "bad file name";
        return false;
    }
    std::optional<fs::path> host = Resolve(cameraName);
    if (!host || cameraName.back() == '/') {
        error = "no such picture";
        return false;
    }
    std::ifstream in(*host, std::ios::binary);
    if (!in) {
        error = "cannot read the picture";
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool SimDisk::List(const std::string& folderName, std::vector<SimDiskEntry>& entries) const
{
    ORIN_TRACE("SimDisk::List");
    entries.clear();
    std::string folder = folderName;
    if (folder != "." && folder.back() != '/') {
        folder += '/';
    }
    std::optional<fs::path> host = Resolve(folder);
    if (!host) {
        return false;
    }
    std::error_code ec;
    std::vector<SimDiskEntry> folders;
    std::vector<SimDiskEntry> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(*host, ec)) {
        SimDiskEntry item;
        item.modified = entry.last_write_time(ec);
        if (entry.is_directory(ec)) {
            item.name = entry.path().filename().string() + "/";
            item.isFolder = true;
            folders.push_back(item);
        } else if (entry.is_regular_file(ec) && IsPictureFile(entry.path())) {
            fs::path name = entry.path().filename();
            name.replace_extension(".mos");
            item.name = name.string();
            item.size = entry.file_size(ec);
            files.push_back(item);
        }
    }
    auto byName = [](const SimDiskEntry& a, const SimDiskEntry& b) { return a.name < b.name; };
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    entries = std::move(folders);
    entries.insert(entries.end(), files.begin(), files.end());
    return !ec;
}

std::vector<std::string> SimDisk::Partitions() const
{
    ORIN_TRACE("SimDisk::Partitions");
    std::vector<SimDiskEntry> entries;
    std::vector<std::string> names;
    if (List(".", entries)) {
        for (const SimDiskEntry& entry : entries) {
            if (entry.isFolder) {
                names.push_back("./" + entry.name);
            }
        }
    }
    return names;
}

std::string SimDisk::AddPicture(const std::string& folderName, const std::vector<uint8_t>& jpeg)
{
    ORIN_TRACE("SimDisk::AddPicture");
    std::string folder = folderName;
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    std::optional<fs::path> host = HostPath(folder);
    if (!host || jpeg.empty()) {
        return {};
    }
    std::error_code ec;
    fs::create_directories(*host, ec);
    for (int number = 1; number <= 9999; ++number) {
        char name[32];
        std::snprintf(name, sizeof name, "Pic%04d", number);
        fs::path file = *host / (std::string(name) + ".jpg");
        if (fs::exists(file, ec) || fs::exists(*host / (std::string(name) + ".jpeg"), ec)) {
            continue;
        }
        if (!WriteFileAtomically(file, jpeg)) {
            return {};
        }
        return folder + name + ".mos";
    }
    return {};
}

}  // namespace camsim
