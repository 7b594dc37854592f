#include "tools/camsim/SimStorageCommands.h"

#include <chrono>
#include <cstdio>
#include <system_error>

#include "app/platform/Log.h"

namespace fs = std::filesystem;

namespace camsim {

namespace {

// Storage error codes of the camera's file system.
constexpr int kNotFound = 6;             // "File or directory not found."
constexpr int kInvalidDrive = 11;        // "Invalid drive specified in an argument."
constexpr int kFilenameNotFound = 8203;  // "Filename not found."
constexpr int kIllegalPathname = 8204;   // "Illegal pathname."
constexpr int kDirectoryExpected = 8206; // "Directory file expected."
constexpr int kFileExists = 8209;        // "File already exists."
constexpr int kDirectoryNotEmpty = 8212; // "Directory not empty."
constexpr int kIllegalOnDirectory = 8213;  // "Illegal on system or directory file."
constexpr int kOnlyFileItem = 12273;     // "In this option, you can use only a file item."
constexpr int kOnlyDirectory = 12275;    // "In this option, you can change only a directory."
constexpr int kCopyToItself = 12276;     // "Cannot copy file to itself."

std::string AsFolder(std::string name)
{
    if (name.empty() || name.back() != '/') {
        name += '/';
    }
    return name;
}

// Splits "./P/F/Pic.mos" into "./P/F/" and "Pic.mos"; false without a folder part.
bool SplitName(const std::string& name, std::string& folder, std::string& leaf)
{
    std::string text = name;
    if (!text.empty() && text.back() == '/') {
        text.pop_back();
    }
    const size_t slash = text.rfind('/');
    if (slash == std::string::npos || slash + 1 >= text.size()) {
        return false;
    }
    folder = text.substr(0, slash + 1);
    leaf = text.substr(slash + 1);
    return true;
}

// The command's Subject when it is there and names nothing outside the disk; otherwise the
// answer already holds the camera's refusal.
const std::string* SafeSubject(const SimMessage& request, SimAnswer& answer)
{
    const std::string* subject = request.Find("Subject");
    if (subject == nullptr || !SimDisk::IsSafeName(*subject)) {
        answer = SimAnswer::StorageError(subject == nullptr ? 9 : kIllegalPathname);
        return nullptr;
    }
    return subject;
}

}  // namespace

std::string SimStorageCommands::TimeStamp(fs::file_time_type time)
{
    using namespace std::chrono;
    const sys_seconds when = floor<seconds>(file_clock::to_sys(time));
    const sys_days date = floor<days>(when);
    const year_month_day ymd{date};
    const hh_mm_ss<seconds> hms{when - date};
    char text[64];
    std::snprintf(text, sizeof text, "%4d:%02u:%02u:%02d:%02d:%02d", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                  static_cast<int>(hms.seconds().count()));
    return text;
}

void SimStorageCommands::Register()
{
    ORIN_TRACE("SimStorageCommands::Register");
    using namespace std::placeholders;
    // A handler a test registered before is kept: it plays a camera that answers otherwise.
    auto add = [this](const char* name, SimHandler handler) {
        if (m_camera.FindFileCommand(name) == nullptr) {
            m_camera.RegisterFileCommand(name, std::move(handler));
        }
    };
    add("dir", std::bind(&SimStorageCommands::OnDir, this, _1, _2));
    add("move", [this](const SimMessage& r, SimAnswer& a) { OnMoveOrCopy(r, a, true); });
    add("copy", [this](const SimMessage& r, SimAnswer& a) { OnMoveOrCopy(r, a, false); });
    add("del", std::bind(&SimStorageCommands::OnDel, this, _1, _2));
    add("rmdir", std::bind(&SimStorageCommands::OnRmdir, this, _1, _2));
    add("mkdir", std::bind(&SimStorageCommands::OnMkdir, this, _1, _2));
    add("recovery", std::bind(&SimStorageCommands::OnRecovery, this, _1, _2));
    add("qformat", std::bind(&SimStorageCommands::OnQformat, this, _1, _2));
}

void SimStorageCommands::OnDir(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimStorageCommands::OnDir");
    const std::string* subject = request.Find("Subject");
    if (subject == nullptr) {
        answer = SimAnswer::StorageError(9);
        return;
    }
    if (!SimDisk::IsSafeName(*subject)) {
        answer = SimAnswer::StorageError(kIllegalPathname);
        return;
    }
    const std::string folder = *subject == "." ? std::string("./") : AsFolder(*subject);
    if (!m_camera.Disk().Resolve(folder)) {
        answer = SimAnswer::StorageError(m_camera.Disk().Resolve(*subject) ? kDirectoryExpected : kNotFound);
        return;
    }
    std::vector<SimDiskEntry> entries;
    if (!m_camera.Disk().List(folder == "./" ? "." : folder, entries)) {
        answer = SimAnswer::StorageError(kNotFound);
        return;
    }
    std::string listing;
    for (const SimDiskEntry& entry : entries) {
        std::string name = entry.name;
        if (entry.isFolder && !name.empty() && name.back() == '/') {
            name.pop_back();
        }
        if (!listing.empty()) {
            listing += ';';
        }
        listing += (entry.isFolder ? "D-" : "F-") + name + "," + TimeStamp(entry.modified);
    }
    answer.message.Add("Dir", listing);
}

void SimStorageCommands::OnMoveOrCopy(const SimMessage& request, SimAnswer& answer, bool move)
{
    ORIN_TRACE("SimStorageCommands::OnMoveOrCopy");
    const std::string* subject = request.Find("Subject");
    const std::string* target = request.Find("Target");
    if (subject == nullptr || target == nullptr) {
        answer = SimAnswer::StorageError(9);
        return;
    }
    std::string targetFolder;
    std::string targetLeaf;
    if (!SimDisk::IsSafeName(*subject) || !SimDisk::IsSafeName(*target) ||
        !SplitName(*target, targetFolder, targetLeaf) || target->back() == '/') {
        answer = SimAnswer::StorageError(kIllegalPathname);
        return;
    }
    const std::optional<fs::path> source = m_camera.Disk().Resolve(*subject);
    if (!source) {
        answer = SimAnswer::StorageError(m_camera.Disk().Resolve(AsFolder(*subject)) ? kOnlyFileItem : kFilenameNotFound);
        return;
    }
    const std::optional<fs::path> folder = m_camera.Disk().Resolve(targetFolder);
    if (!folder) {
        answer = SimAnswer::StorageError(kNotFound);
        return;
    }
    // The camera shows each JPEG under its stem with ".mos"; a new name must follow that rule
    // or the picture would be listed under another name than the one it was given.
    fs::path leaf(targetLeaf);
    if (leaf.extension() != ".mos" || leaf.stem().empty()) {
        answer = SimAnswer::StorageError(kIllegalPathname);
        return;
    }
    const fs::path host = *folder / (leaf.stem().string() + source->extension().string());
    std::error_code ec;
    if (fs::equivalent(*source, host, ec)) {
        answer = SimAnswer::StorageError(kCopyToItself);
        return;
    }
    if (m_camera.Disk().Resolve(*target) || fs::exists(host, ec)) {
        answer = SimAnswer::StorageError(kFileExists);
        return;
    }
    if (move) {
        fs::rename(*source, host, ec);
    } else {
        fs::copy_file(*source, host, ec);
    }
    if (ec) {
        answer = SimAnswer::StorageError(13);  // "Write error performing the API's function."
    }
}

void SimStorageCommands::OnDel(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimStorageCommands::OnDel");
    const std::string* subject = SafeSubject(request, answer);
    if (subject == nullptr) {
        return;
    }
    const std::optional<fs::path> host = m_camera.Disk().Resolve(*subject);
    if (!host) {
        answer = SimAnswer::StorageError(m_camera.Disk().Resolve(AsFolder(*subject)) ? kOnlyFileItem : kFilenameNotFound);
        return;
    }
    std::error_code ec;
    fs::remove(*host, ec);
    if (ec) {
        answer = SimAnswer::StorageError(13);
    }
}

void SimStorageCommands::OnRmdir(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimStorageCommands::OnRmdir");
    const std::string* subject = SafeSubject(request, answer);
    if (subject == nullptr) {
        return;
    }
    const std::string folder = AsFolder(*subject);
    std::string parent;
    std::string leaf;
    if (!SplitName(folder, parent, leaf) || parent == "./") {
        answer = SimAnswer::StorageError(kIllegalOnDirectory);  // the root or a partition
        return;
    }
    const std::optional<fs::path> host = m_camera.Disk().Resolve(folder);
    if (!host) {
        answer = SimAnswer::StorageError(m_camera.Disk().Resolve(*subject) ? kOnlyDirectory : kNotFound);
        return;
    }
    std::error_code ec;
    if (!fs::is_empty(*host, ec)) {
        answer = SimAnswer::StorageError(kDirectoryNotEmpty);
        return;
    }
    fs::remove(*host, ec);
    if (ec) {
        answer = SimAnswer::StorageError(13);
    }
}

void SimStorageCommands::OnMkdir(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimStorageCommands::OnMkdir");
    const std::string* subject = SafeSubject(request, answer);
    if (subject == nullptr) {
        return;
    }
    const std::string folder = AsFolder(*subject);
    std::string parent;
    std::string leaf;
    if (!SplitName(folder, parent, leaf)) {
        answer = SimAnswer::StorageError(kIllegalPathname);
        return;
    }
    if (parent == "./") {
        answer = SimAnswer::StorageError(kIllegalOnDirectory);  // partitions are made by formatting
        return;
    }
    const std::optional<fs::path> parentHost = m_camera.Disk().Resolve(parent);
    if (!parentHost) {
        answer = SimAnswer::StorageError(kNotFound);
        return;
    }
    std::error_code ec;
    const fs::path host = *parentHost / leaf;
    if (fs::exists(host, ec) || m_camera.Disk().Resolve(parent + leaf)) {
        answer = SimAnswer::StorageError(kFileExists);
        return;
    }
    fs::create_directory(host, ec);
    if (ec) {
        answer = SimAnswer::StorageError(13);
    }
}

bool SimStorageCommands::Partition(const std::string& name, fs::path& host) const
{
    if (!SimDisk::IsSafeName(name)) {
        return false;
    }
    const std::string folder = AsFolder(name);
    std::string parent;
    std::string leaf;
    if (!SplitName(folder, parent, leaf) || parent != "./") {
        return false;
    }
    const std::optional<fs::path> resolved = m_camera.Disk().Resolve(folder);
    if (!resolved) {
        return false;
    }
    host = *resolved;
    return true;
}

void SimStorageCommands::OnRecovery(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimStorageCommands::OnRecovery");
    const std::string* subject = request.Find("Subject");
    fs::path host;
    if (subject == nullptr || !Partition(*subject, host)) {
        answer = SimAnswer::StorageError(subject == nullptr ? 9 : kInvalidDrive);
    }
}

void SimStorageCommands::OnQformat(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimStorageCommands::OnQformat");
    const std::string* subject = request.Find("Subject");
    fs::path host;
    if (subject == nullptr || !Partition(*subject, host)) {
        answer = SimAnswer::StorageError(subject == nullptr ? 9 : kInvalidDrive);
        return;
    }
    std::error_code ec;
    std::vector<fs::path> doomed;
    for (const fs::directory_entry& entry : fs::directory_iterator(host, ec)) {
        doomed.push_back(entry.path());
    }
    for (const fs::path& path : doomed) {
        fs::remove_all(path, ec);
    }
    if (ec) {
        answer = SimAnswer::StorageError(13);
    }
}

}  // namespace camsim
