#include "tools/orinctl/CtlCommands.h"

#include "app/link/LinkMessages.h"
#include "app/link/ProtocolCommand.h"
#include "app/link/ProtocolLayer.h"
#include "app/platform/Log.h"
#include "app/platform/TextConvert.h"
#include "app/platform/TickCount.h"
#include "tools/orinctl/CtlBurstRules.h"
#include "tools/orinctl/CtlSession.h"
#include "tools/orinctl/CtlSetupCommands.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::atomic<bool> g_bStop{false};

// A picture announced by the camera and not yet saved.
struct PendingPicture {
    std::string name;
    int failures = 0;
};

// Failed downloads of one picture before watch gives it up (each is already three attempts
// of the protocol layer with a resynchronisation between them).
constexpr int kMaxPictureFailures = 3;
// How often watch itself tries to bring a link that is there but out of sync back.
constexpr uint32_t kResyncIntervalMs = 1000;
// With --all, pictures skipped during a burst are fetched once no picture has been announced for
// this long: the burst is over and the newest picture is on the screen already.
constexpr uint32_t kBurstQuietMs = 1500;

void PrintError(const std::string& text)
{
    std::fprintf(stderr, "orinctl: %s\n", text.c_str());
    std::fflush(stderr);
}

const ProtocolCommand* PictureMessageOf(const platform::Message& message)
{
    if (const ProtocolCommand* command = message.PayloadAs<ProtocolCommand>()) {
        return command;
    }
    if (auto* owned = message.PayloadAs<std::unique_ptr<ProtocolCommand>>()) {
        return owned->get();
    }
    return nullptr;
}

}  // namespace

void CtlCommands::RequestStop()
{
    g_bStop.store(true);
}

fs::path CtlCommands::LocalPathFor(const fs::path& folder, const std::string& cameraName)
{
    ORIN_TRACE("CtlCommands::LocalPathFor");
    // The name comes from the camera: never let it climb out of the folder it is saved in.
    if (cameraName.size() < 3 || cameraName.compare(0, 2, "./") != 0 || cameraName.back() == '/') {
        return {};
    }
    fs::path local = folder;
    size_t start = 2;
    while (true) {
        size_t slash = cameraName.find('/', start);
        std::string part = cameraName.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part.empty() || part == "." || part == ".." || part.find('\\') != std::string::npos ||
            part.find('\0') != std::string::npos) {
            return {};
        }
        local /= part;
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    local.replace_extension(".jpg");
    return local;
}

bool CtlCommands::WriteFileAtomically(const fs::path& path, const std::vector<uint8_t>& bytes, std::string& error)
{
    ORIN_TRACE("CtlCommands::WriteFileAtomically");
    std::error_code ec;
    if (path.has_parent_path()) {
        fs::create_directories(path.parent_path(), ec);
        if (ec) {
            error = "cannot create " + path.parent_path().string() + ": " + ec.message();
            return false;
        }
    }
    std::string temp = path.string() + ".part-XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) {
        error = "cannot write " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = "cannot write " + path.string() + ": " + std::strerror(errno);
            ::close(fd);
            ::unlink(temp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    fchmod(fd, 0644);
    if (::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path.string() + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

int CtlCommands::Failure(bool refused, const std::string& what, const std::u16string& cameraText, std::string& error)
{
    ORIN_TRACE("CtlCommands::Failure");
    if (refused) {
        error = what.empty() ? platform::ToUtf8(cameraText) : what + ": " + platform::ToUtf8(cameraText);
        return CTL_REFUSED;
    }
    CProtocolLayer& layer = m_session.Layer();
    std::string reason = layer.IsOnline() ? "no answer from the camera" : "the link to the camera was lost";
    error = what.empty() ? reason : what + ": " + reason;
    return CTL_NO_LINK;
}

int CtlCommands::Sync()
{
    ORIN_TRACE("CtlCommands::Sync");
    ProtocolCommand answer = m_session.SyncAnswer();
    if (answer.commandID != SYNC_REPLY) {
        if (!m_session.Layer().RequestSync(answer)) {
            std::string error;
            int code = Failure(false, "", std::u16string(), error);
            PrintError(error);
            return code;
        }
    }
    for (const AttributePair& pair : answer.attributes) {
        std::printf("%s=%s\n", platform::ToUtf8(pair.name).c_str(),
                    pair.value ? platform::ToUtf8(*pair.value).c_str() : "");
    }
    CtlSetupCommands::PrintSetups(answer);
    std::fflush(stdout);
    return CTL_OK;
}

int CtlCommands::Download(const std::string& cameraName, std::vector<uint8_t>& bytes, std::string& error)
{
    ORIN_TRACE("CtlCommands::Download");
    AttributeList attributes;
    attributes.emplace_back(u"file_name", platform::FromUtf8(cameraName));
    ProtocolCommand answer;
    std::u16string errorText;
    bool ok = m_session.Layer().GetImage(answer, attributes, errorText);
    if (ok && answer.HasAttachment()) {
        bytes = std::move(answer.attachment);
        return CTL_OK;
    }
    return Failure(!errorText.empty(), cameraName, errorText, error);
}

int CtlCommands::Get(const std::string& cameraName, const std::string& outPath)
{
    ORIN_TRACE("CtlCommands::Get");
    std::vector<uint8_t> bytes;
    std::string error;
    m_session.ShowProgress(true);
    int code = Download(cameraName, bytes, error);
    m_session.ShowProgress(false);
    if (code != CTL_OK) {
        PrintError(error);
        return code;
    }
    if (outPath == "-") {
        size_t written = std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        if (written != bytes.size() || std::fflush(stdout) != 0) {
            PrintError("cannot write the picture to stdout");
            return CTL_NO_LINK;
        }
        return CTL_OK;
    }
    fs::path target = outPath;
    if (target.empty()) {
        size_t slash = cameraName.rfind('/');
        target = cameraName.substr(slash == std::string::npos ? 0 : slash + 1);
        target.replace_extension(".jpg");
    }
    if (!WriteFileAtomically(target, bytes, error)) {
        PrintError(error);
        return CTL_NO_LINK;
    }
    return CTL_OK;
}

int CtlCommands::ParamGet(const std::string& name)
{
    ORIN_TRACE("CtlCommands::ParamGet");
    AttributeList attributes;
    attributes.emplace_back(u"GetParamList", platform::FromUtf8(name));
    ProtocolCommand answer;
    std::u16string errorText;
    if (!m_session.Layer().GetCameraParam(answer, attributes, errorText)) {
        std::string error;
        int code = Failure(!errorText.empty(), name, errorText, error);
        PrintError(error);
        return code;
    }
    std::u16string wanted = platform::FromUtf8(name);
    const std::u16string* value = answer.FindAttribute(wanted);
    if (value == nullptr) {
        value = answer.FindAttributeNoCase(wanted);
    }
    if (value == nullptr) {
        PrintError("the camera has no value " + name);
        return CTL_REFUSED;
    }
    std::printf("%s=%s\n", name.c_str(), platform::ToUtf8(*value).c_str());
    std::fflush(stdout);
    return CTL_OK;
}

int CtlCommands::ParamSet(const std::vector<std::pair<std::string, std::string>>& values)
{
    ORIN_TRACE("CtlCommands::ParamSet");
    AttributeList attributes;
    for (const auto& [name, value] : values) {
        attributes.emplace_back(platform::FromUtf8(name), platform::FromUtf8(value));
    }
    std::u16string errorText;
    if (!m_session.Layer().SetCameraParam(attributes, errorText)) {
        std::string error;
        int code = Failure(!errorText.empty(), "", errorText, error);
        PrintError(error);
        return code;
    }
    return CTL_OK;
}

int CtlCommands::Watch(const CtlWatchOptions& options)
{
    ORIN_TRACE("CtlCommands::Watch");
    CProtocolLayer& layer = m_session.Layer();
    std::deque<PendingPicture> pending;
    std::deque<PendingPicture> skipped;
    CtlBurstRules burst(layer);
    uint32_t lastPictureTick = platform::TickCount();
    int saved = 0;
    bool offlineReported = false;
    const uint32_t start = platform::TickCount();
    uint32_t lastResync = start;

    while (!g_bStop.load()) {
        if (options.count > 0 && saved >= options.count) {
            return CTL_OK;
        }
        uint32_t elapsed = platform::TicksSince(start);
        if (options.timeoutMs > 0 && elapsed >= options.timeoutMs) {
            if (options.count > 0) {
                PrintError("watch ended after " + std::to_string(options.timeoutMs / 1000) + " s with " +
                           std::to_string(saved) + " of " + std::to_string(options.count) + " pictures");
                return CTL_NO_LINK;
            }
            return CTL_OK;
        }

        // Bring a link that is there but out of sync back at once rather than at the
        // watchdog's next round.
        if (!layer.IsInSync() && layer.IsOnline() && platform::TicksSince(lastResync) >= kResyncIntervalMs) {
            lastResync = platform::TickCount();
            layer.ReSync(false, nullptr, 1, false);
        }
        if (layer.IsInSync() && offlineReported) {
            PrintError("the camera is back");
            offlineReported = false;
        }

        if (!pending.empty() && layer.IsInSync() && !layer.IsBusyMode()) {
            PendingPicture& picture = pending.front();
            fs::path local = LocalPathFor(options.folder, picture.name);
            if (local.empty()) {
                PrintError(picture.name + ": not a picture name that can be saved");
                pending.pop_front();
                continue;
            }
            std::vector<uint8_t> bytes;
            std::string error;
            int code = Download(picture.name, bytes, error);
            if (code == CTL_OK) {
                if (!WriteFileAtomically(local, bytes, error)) {
                    PrintError(error);
                    return CTL_NO_LINK;
                }
                std::printf("%s\t%s\n", picture.name.c_str(), local.c_str());
                std::fflush(stdout);
                ++saved;
                pending.pop_front();
            } else if (code == CTL_REFUSED || ++picture.failures >= kMaxPictureFailures) {
                PrintError(error);
                pending.pop_front();
            }
            // A download cut short by the link going is tried again once it is back.
            continue;
        }

        if (options.all && pending.empty() && !skipped.empty() &&
            platform::TicksSince(lastPictureTick) >= kBurstQuietMs) {
            PrintError("fetching " + std::to_string(skipped.size()) + " picture(s) skipped during the burst");
            pending.insert(pending.end(), skipped.begin(), skipped.end());
            skipped.clear();
            continue;
        }

        uint32_t wait = 200;
        if (options.timeoutMs > 0) {
            wait = std::min<uint32_t>(wait, options.timeoutMs - std::min(options.timeoutMs, elapsed) + 1);
        }
        std::optional<platform::Message> message = m_session.Inbox().Wait(wait);
        if (!message) {
            continue;
        }
        switch (message->id) {
        case linkmsg::WM_PICTURE_TAKEN: {
            const ProtocolCommand* taken = PictureMessageOf(*message);
            if (taken == nullptr) {
                break;
            }
            const std::u16string* busy = taken->FindAttributeNoCase(u"busy");
            if (busy != nullptr && EqualsNoCase(*busy, u"yes")) {
                PrintError("the camera is busy");
                break;
            }
            for (const AttributePair& pair : taken->attributes) {
                if (pair.name == u"file_name" && pair.value) {
                    const std::string name = platform::ToUtf8(*pair.value);
                    lastPictureTick = platform::TickCount();
                    // Only the newest announced picture is fetched at once; the camera has
                    // moved on from the others of a burst.
                    if (burst.OnPictureTaken(name, m_session.NewestPicture())) {
                        pending.push_back(PendingPicture{name, 0});
                    } else {
                        PrintError("skipped (burst): " + name);
                        skipped.push_back(PendingPicture{name, 0});
                    }
                }
            }
            break;
        }
        case linkmsg::WM_OFFLINE:
            if (!offlineReported && !layer.IsOnline()) {
                PrintError("the link to the camera was lost; waiting for it to come back");
                offlineReported = true;
            }
            break;
        case linkmsg::WM_SYNC:
            lastResync = platform::TickCount() - kResyncIntervalMs;
            break;
        default:
            break;
        }
    }
    return CTL_OK;
}
