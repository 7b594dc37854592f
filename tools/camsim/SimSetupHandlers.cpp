#include "tools/camsim/SimSetupHandlers.h"

#include "app/platform/Log.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <strings.h>
#include <system_error>

namespace camsim {

namespace {

constexpr int kBadParameter = 9;

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = text.find(separator, start);
        std::string item = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!item.empty()) {
            items.push_back(std::move(item));
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return items;
}

std::string SetupNameOf(const std::string& setup)
{
    for (const std::string& field : Split(setup, ',')) {
        if (field.rfind("SetupName=", 0) == 0) {
            return field.substr(std::string("SetupName=").size());
        }
    }
    return std::string();
}

}  // namespace

void SimSetupHandlers::Register()
{
    ORIN_TRACE("SimSetupHandlers::Register");
    using namespace std::placeholders;
    if (const SimHandler* previous = m_camera.FindHandler("SetCameraParam")) {
        m_setCameraParam = *previous;
    }
    if (const SimHandler* previous = m_camera.FindHandler("RequestSync")) {
        m_requestSync = *previous;
    }
    m_camera.RegisterHandler("SetCameraParam", std::bind(&SimSetupHandlers::OnSetCameraParam, this, _1, _2));
    m_camera.RegisterHandler("RequestSync", std::bind(&SimSetupHandlers::OnRequestSync, this, _1, _2));
    m_camera.RegisterConsoleCommand("newdisk", [this](const std::string&) {
        const std::string id = NewDiskId(m_camera.Disk().Root());
        return id.empty() ? std::string("ERR cannot store a new disk identity") : "OK newdisk " + id;
    });
    const std::string id = DiskIdOf(m_camera.Disk().Root());
    if (!id.empty()) {
        m_camera.Settings().Set("DiskID", id);
    }
}

std::string SimSetupHandlers::DiskIdOf(const std::filesystem::path& root)
{
    ORIN_TRACE("SimSetupHandlers::DiskIdOf");
    std::ifstream in(root / kIdentityFile);
    std::string id;
    if (in && std::getline(in, id) && !id.empty()) {
        return id;
    }
    return NewDiskId(root);
}

std::string SimSetupHandlers::NewDiskId(const std::filesystem::path& root)
{
    ORIN_TRACE("SimSetupHandlers::NewDiskId");
    std::random_device random;
    char id[32];
    std::snprintf(id, sizeof(id), "KX20-%08X", static_cast<unsigned>(random()));
    const std::filesystem::path file = root / kIdentityFile;
    const std::filesystem::path temporary = root / (std::string(kIdentityFile) + ".new");
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << id << '\n';
        if (!out) {
            return std::string();
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, file, ec);
    return ec ? std::string() : std::string(id);
}

bool SimSetupHandlers::MergeSetup(std::string& setups, const std::string& setup, std::string& name)
{
    name = SetupNameOf(setup);
    if (name.empty()) {
        return false;
    }
    std::string merged;
    bool replaced = false;
    for (const std::string& existing : Split(setups, ';')) {
        std::string keep = existing;
        if (strcasecmp(SetupNameOf(existing).c_str(), name.c_str()) == 0) {
            keep = setup;
            replaced = true;
        }
        merged += (merged.empty() ? "" : ";") + keep;
    }
    if (!replaced) {
        merged += (merged.empty() ? "" : ";") + setup;
    }
    setups = merged;
    return true;
}

bool SimSetupHandlers::HasSetup(const std::string& setups, const std::string& name)
{
    for (const std::string& existing : Split(setups, ';')) {
        if (strcasecmp(SetupNameOf(existing).c_str(), name.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

bool SimSetupHandlers::IsTimeStamp(const std::string& text)
{
    int f[6] = {};
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d:%d:%d:%d:%d:%d%c", &f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &tail) != 6) {
        return false;
    }
    return f[0] >= 1980 && f[1] >= 1 && f[1] <= 12 && f[2] >= 1 && f[2] <= 31 && f[3] >= 0 && f[3] <= 23 &&
           f[4] >= 0 && f[4] <= 59 && f[5] >= 0 && f[5] <= 60;
}

void SimSetupHandlers::OnSetCameraParam(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimSetupHandlers::OnSetCameraParam");
    SimSettings& settings = m_camera.Settings();
    SimMessage rest(request.Name());
    for (const SimAttribute& attribute : request.Attributes()) {
        if (attribute.name == "ShootSetup") {
            std::string setups = settings.Get("ShootSetup").value_or("");
            std::string name;
            if (attribute.value.find(';') != std::string::npos || !MergeSetup(setups, attribute.value, name)) {
                answer = SimAnswer::StorageError(kBadParameter);
                return;
            }
            settings.Set("ShootSetup", setups);
            settings.Set("DefaultShootSetup", name);
        } else if (attribute.name == "DefaultShootSetup") {
            if (!HasSetup(settings.Get("ShootSetup").value_or(""), attribute.value)) {
                answer = SimAnswer::StorageError(kBadParameter);
                return;
            }
            settings.Set("DefaultShootSetup", attribute.value);
        } else if (attribute.name == "CurrentTime") {
            if (!IsTimeStamp(attribute.value)) {
                answer = SimAnswer::StorageError(kBadParameter);
                return;
            }
            settings.Set("CurrentTime", attribute.value);
        } else if (attribute.name != "Retransmission") {
            rest.Add(attribute.name, attribute.value);
        }
    }
    if (!rest.Attributes().empty() && m_setCameraParam) {
        m_setCameraParam(rest, answer);
    }
}

void SimSetupHandlers::OnRequestSync(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimSetupHandlers::OnRequestSync");
    const std::string id = DiskIdOf(m_camera.Disk().Root());
    if (!id.empty()) {
        m_camera.Settings().Set("DiskID", id);
    }
    if (m_requestSync) {
        m_requestSync(request, answer);
    }
}

}  // namespace camsim
