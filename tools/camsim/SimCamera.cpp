#include "tools/camsim/SimCamera.h"
#include "tools/camsim/SimPictureFunctions.h"
#include "tools/camsim/SimSetupHandlers.h"
#include "tools/camsim/SimStorageCommands.h"

#include "app/platform/Log.h"
#include "tools/camsim/SimPictures.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <sstream>

namespace camsim {

namespace {

std::string CameraDate()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[96];
    std::snprintf(text, sizeof text, "%4d:%02d:%02d:%02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string Garbage(size_t count, unsigned seed)
{
    // Line noise never holds a caret: a caret would start a message of its own.
    std::mt19937 random(seed);
    std::string bytes;
    while (bytes.size() < count) {
        char c = static_cast<char>(random() & 0xFF);
        if (c != '^') {
            bytes += c;
        }
    }
    return bytes;
}

}  // namespace

SimAnswer SimAnswer::Error(const std::string& code)
{
    ORIN_TRACE("SimAnswer::Error");
    SimAnswer answer;
    answer.message = SimMessage("Error");
    answer.message.Add("error_code", code);
    return answer;
}

SimAnswer SimAnswer::StorageError(int code)
{
    ORIN_TRACE("SimAnswer::StorageError");
    SimAnswer answer;
    answer.message.Add("error", std::to_string(code));
    return answer;
}

SimCamera::SimCamera()
{
    ORIN_TRACE("SimCamera::SimCamera");
    using namespace std::placeholders;
    RegisterHandler("ReSyncRequest", std::bind(&SimCamera::OnReSyncRequest, this, _1, _2));
    RegisterHandler("RequestSync", std::bind(&SimCamera::OnRequestSync, this, _1, _2));
    RegisterHandler("GetImage", std::bind(&SimCamera::OnGetImage, this, _1, _2));
    RegisterHandler("GetCameraParam", std::bind(&SimCamera::OnGetCameraParam, this, _1, _2));
    RegisterHandler("SetCameraParam", std::bind(&SimCamera::OnSetCameraParam, this, _1, _2));
    RegisterHandler("FileCommand", std::bind(&SimCamera::OnFileCommand, this, _1, _2));
}

SimCamera::~SimCamera()
{
    ORIN_TRACE("SimCamera::~SimCamera");
    Stop();
}

void SimCamera::RegisterHandler(const std::string& command, SimHandler handler)
{
    ORIN_TRACE("SimCamera::RegisterHandler");
    m_handlers[command] = std::move(handler);
}

void SimCamera::RegisterFileCommand(const std::string& subcommand, SimHandler handler)
{
    ORIN_TRACE("SimCamera::RegisterFileCommand");
    m_fileCommands[subcommand] = std::move(handler);
}

void SimCamera::RegisterConsoleCommand(const std::string& verb, SimConsoleCommand command)
{
    ORIN_TRACE("SimCamera::RegisterConsoleCommand");
    m_consoleCommands[verb] = std::move(command);
}

const SimHandler* SimCamera::FindHandler(const std::string& command) const
{
    auto found = m_handlers.find(command);
    return found == m_handlers.end() ? nullptr : &found->second;
}

const SimHandler* SimCamera::FindFileCommand(const std::string& subcommand) const
{
    auto found = m_fileCommands.find(subcommand);
    return found == m_fileCommands.end() ? nullptr : &found->second;
}

void SimCamera::SetPreviewSize(int width, int height)
{
    ORIN_TRACE("SimCamera::SetPreviewSize");
    if (width > 0 && height > 0) {
        m_previewWidth = width;
        m_previewHeight = height;
    }
}

void SimCamera::SetEventSink(std::function<void(const std::string&)> sink)
{
    ORIN_TRACE("SimCamera::SetEventSink");
    std::lock_guard<std::mutex> lock(m_sinkMutex);
    m_sink = std::move(sink);
}

void SimCamera::Note(const std::string& text)
{
    ORIN_TRACE("SimCamera::Note");
    std::lock_guard<std::mutex> lock(m_sinkMutex);
    if (m_sink) {
        m_sink(text);
    }
}

SimStats SimCamera::Stats() const
{
    ORIN_TRACE("SimCamera::Stats");
    std::lock_guard<std::mutex> lock(m_statsMutex);
    return m_stats;
}

bool SimCamera::Start()
{
    ORIN_TRACE("SimCamera::Start");
    if (m_thread.joinable()) {
        return true;
    }
    if (m_link.Path().empty() || m_disk.Root().empty()) {
        ORIN_LOG_ERROR("SimCamera::Start", "no link or no disk");
        return false;
    }
    if (!m_pStorageCommands) {
        m_pStorageCommands = std::make_unique<SimStorageCommands>(*this);
        m_pStorageCommands->Register();
        m_pPictureFunctions = std::make_unique<SimPictureFunctions>(*this);
        m_pPictureFunctions->Register();
        m_pSetupHandlers = std::make_unique<SimSetupHandlers>(*this);
        m_pSetupHandlers->Register();
    }
    m_bStop.store(false);
    m_thread = std::thread(&SimCamera::Run, this);
    return true;
}

void SimCamera::Stop()
{
    ORIN_TRACE("SimCamera::Stop");
    m_bStop.store(true);
    m_link.RequestAbort();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    // Nobody runs the queue any more: answer what is left so no caller waits for ever.
    std::lock_guard<std::mutex> lock(m_commandMutex);
    for (PendingCommand& command : m_commands) {
        command.result.set_value("ERR the camera has stopped");
    }
    m_commands.clear();
}

std::string SimCamera::Command(const std::string& line)
{
    ORIN_TRACE("SimCamera::Command");
    if (!m_thread.joinable() || m_bStop.load()) {
        return Execute(line);
    }
    std::future<std::string> result;
    {
        std::lock_guard<std::mutex> lock(m_commandMutex);
        m_commands.push_back(PendingCommand{line, {}});
        result = m_commands.back().result.get_future();
    }
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb == "unplug" || verb == "quit") {
        m_link.RequestAbort();  // the far end vanishes now, not after the transfer
    } else {
        m_link.Wake();
    }
    return result.get();
}

void SimCamera::RunPendingCommands()
{
    ORIN_TRACE("SimCamera::RunPendingCommands");
    std::deque<PendingCommand> commands;
    {
        std::lock_guard<std::mutex> lock(m_commandMutex);
        commands.swap(m_commands);
    }
    m_link.ClearAbort();
    for (PendingCommand& command : commands) {
        command.result.set_value(Execute(command.line));
    }
}

void SimCamera::Run()
{
    ORIN_TRACE("SimCamera::Run");
    uint8_t buffer[4096];
    while (!m_bStop.load()) {
        RunPendingCommands();
        if (m_bStop.load()) {
            break;
        }
        if (!m_pendingMessages.empty()) {
            std::string text = std::move(m_pendingMessages.front());
            m_pendingMessages.pop_front();
            HandleText(text);
            continue;
        }
        if (std::optional<std::string> text = m_reader.Next()) {
            HandleText(*text);
            continue;
        }
        size_t got = 0;
        SimLink::Status status = m_link.Read(buffer, sizeof buffer, got, 200);
        if (status == SimLink::Status::Ok) {
            m_reader.Feed(buffer, got);
        }
    }
}

std::string SimCamera::Execute(const std::string& line)
{
    ORIN_TRACE("SimCamera::Execute");
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    std::string rest;
    std::getline(words, rest);
    size_t first = rest.find_first_not_of(" \t");
    rest = first == std::string::npos ? std::string() : rest.substr(first);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\r' || rest.back() == '\t')) {
        rest.pop_back();
    }

    if (verb.empty()) {
        return "OK";
    }
    if (verb == "shoot") {
        return Shoot(rest);
    }
    if (verb == "burst") {
        return Burst(rest);
    }
    if (verb == "busy") {
        return Busy();
    }
    if (verb == "unplug") {
        m_link.Unplug();
        m_reader.Clear();
        m_pendingMessages.clear();
        Note("UNPLUGGED");
        return "OK unplug";
    }
    if (verb == "plug") {
        if (!m_link.Plug()) {
            return "ERR plug failed";
        }
        Note("PLUGGED " + m_link.Path());
        return "OK plug " + m_link.Path();
    }
    if (verb == "fault") {
        if (rest == "clear") {
            m_faults.Clear();
            return "OK fault clear";
        }
        std::string error;
        std::optional<SimFault> fault = SimFaults::Parse(rest, error);
        if (!fault) {
            return "ERR " + error;
        }
        m_faults.Arm(*fault);
        return std::string("OK fault ") + SimFaults::KindName(fault->kind);
    }
    if (verb == "baud") {
        int baud = std::atoi(rest.c_str());
        if (baud < 0 || (baud == 0 && rest != "0")) {
            return "ERR baud needs a number (0 = unpaced)";
        }
        m_link.SetBaud(baud);
        return "OK baud " + std::to_string(baud);
    }
    if (verb == "status") {
        SimStats stats = Stats();
        std::ostringstream out;
        out << "OK plugged=" << (m_link.IsPlugged() ? 1 : 0) << " baud=" << m_link.Baud()
            << " path=" << m_link.Path() << " faults=" << m_faults.ArmedCount()
            << " packets=" << stats.packetsSent << " naks=" << stats.naksReceived
            << " downloads=" << stats.downloadsCompleted << " abandoned=" << stats.downloadsAbandoned;
        return out.str();
    }
    if (verb == "help") {
        std::string more;
        for (const auto& [name, command] : m_consoleCommands) {
            more += ", " + name;
        }
        return "OK commands: shoot [gradient|bands|highlights|shadows|clipped|noise], burst N, busy, unplug, "
               "plug, fault short|garbage|error|delay|drop [bytes=N] [code=C] [ms=N] [count=N] "
               "[cmd=NAME], fault clear, baud N, status, quit" + more;
    }
    if (verb == "quit") {
        m_bStop.store(true);
        return "OK quit";
    }
    if (auto command = m_consoleCommands.find(verb); command != m_consoleCommands.end()) {
        return command->second(rest);
    }
    return "ERR unknown command: " + verb + " (try help)";
}

std::string SimCamera::Burst(const std::string& count)
{
    ORIN_TRACE("SimCamera::Burst");
    const int n = std::atoi(count.c_str());
    if (n < 1 || n > 100) {
        return "ERR burst needs a count from 1 to 100";
    }
    std::string last;
    for (int i = 0; i < n; ++i) {
        std::string result = Shoot("");
        if (result.rfind("OK", 0) != 0) {
            return result;
        }
        last = result.substr(std::string("OK shoot ").size());
    }
    return "OK burst " + std::to_string(n) + " last " + last;
}

std::string SimCamera::Shoot(const std::string& sceneName)
{
    ORIN_TRACE("SimCamera::Shoot");
    SimScene scene = SimPictures::SceneForShot(m_shots);
    if (!sceneName.empty()) {
        std::optional<SimScene> named = SimPictures::SceneFromName(sceneName);
        if (!named) {
            return "ERR unknown scene: " + sceneName;
        }
        scene = *named;
    }
    ++m_shots;
    std::vector<uint8_t> jpeg = SimPictures::Jpeg(scene, m_previewWidth, m_previewHeight, 92, 1000 + m_shots);
    std::string name = m_disk.AddPicture(m_settings.ShootingFolder(), jpeg);
    if (name.empty()) {
        return "ERR cannot store the picture in " + m_settings.ShootingFolder();
    }
    int left = m_settings.TakeExposure();
    m_settings.DrainBattery();
    {
        std::lock_guard<std::mutex> lock(m_statsMutex);
        ++m_stats.picturesTaken;
    }
    SimMessage taken("PictureTaken");
    taken.Add("file_name", name);
    taken.Add("Date", CameraDate());
    taken.Add("battery_percent", m_settings.Get("battery_percent").value_or("100"));
    taken.Add("exp_left", std::to_string(left));
    if (!SendMessage(taken)) {
        // The picture is on the camera's disk all the same; only the news of it is lost.
        return "OK shoot " + name + " undelivered";
    }
    return "OK shoot " + name;
}

std::string SimCamera::Busy()
{
    ORIN_TRACE("SimCamera::Busy");
    SimMessage taken("PictureTaken");
    taken.Add("busy", "yes");
    if (!SendMessage(taken)) {
        return "OK busy undelivered";
    }
    return "OK busy";
}

bool SimCamera::SendMessage(const SimMessage& message)
{
    ORIN_TRACE("SimCamera::SendMessage");
    std::string wire = message.ToWire();
    Note("SEND " + wire);
    return m_link.Write(wire) == SimLink::Status::Ok;
}

void SimCamera::HandleText(const std::string& text)
{
    ORIN_TRACE("SimCamera::HandleText");
    Note("RECV " + text);
    std::optional<SimMessage> message = SimMessage::Parse(text);
    if (!message) {
        SimAnswer answer = SimAnswer::Error("1");
        SendAnswer("", answer);
        return;
    }
    const std::string& name = message->Name();
    {
        std::lock_guard<std::mutex> lock(m_statsMutex);
        ++m_stats.received[name];
    }
    if (name == "Ack" || name == "Nak") {
        // A late acknowledgement of a transfer already given up: nothing waits for it.
        Note("IGNORED late " + name);
        return;
    }
    SimAnswer answer;
    auto handler = m_handlers.find(name);
    if (handler == m_handlers.end()) {
        answer = SimAnswer::Error("2");
    } else {
        handler->second(*message, answer);
    }
    SendAnswer(name, answer);
}

void SimCamera::SendAnswer(const std::string& command, SimAnswer& answer)
{
    ORIN_TRACE("SimCamera::SendAnswer");
    if (answer.silent) {
        return;
    }
    if (m_faults.Take(SimFaultKind::Drop, command)) {
        Note("FAULT drop answer to " + command);
        return;
    }
    if (std::optional<SimFault> delay = m_faults.Take(SimFaultKind::Delay, command)) {
        Note("FAULT delay " + std::to_string(delay->ms) + " ms answer to " + command);
        if (m_link.Pause(delay->ms) != SimLink::Status::Ok) {
            return;
        }
    }
    if (std::optional<SimFault> error = m_faults.Take(SimFaultKind::Error, command)) {
        Note("FAULT error " + error->code + " answer to " + command);
        answer = SimAnswer::Error(error->code);
    }
    if (std::optional<SimFault> garbage = m_faults.Take(SimFaultKind::Garbage, command)) {
        Note("FAULT garbage " + std::to_string(garbage->bytes) + " bytes before answer to " + command);
        if (m_link.Write(Garbage(static_cast<size_t>(garbage->bytes), m_shots + 7)) != SimLink::Status::Ok) {
            return;
        }
    }
    std::string header = answer.message.ToWire();
    Note("SEND " + header);
    if (!answer.hasPayload) {
        m_link.Write(header);
        return;
    }
    bool done = answer.packetSize > 0
                    ? SendPackets(header, answer.payload, static_cast<size_t>(answer.packetSize))
                    : SendStream(header, answer.payload);
    std::lock_guard<std::mutex> lock(m_statsMutex);
    ++(done ? m_stats.downloadsCompleted : m_stats.downloadsAbandoned);
}

bool SimCamera::SendStream(const std::string& header, const std::vector<uint8_t>& payload)
{
    ORIN_TRACE("SimCamera::SendStream");
    size_t send = payload.size();
    if (std::optional<SimFault> cut = m_faults.Take(SimFaultKind::ShortPacket, "GetImage")) {
        send = send > static_cast<size_t>(cut->bytes) ? send - static_cast<size_t>(cut->bytes) : 0;
        Note("FAULT short stream: " + std::to_string(send) + " of " + std::to_string(payload.size()));
    }
    if (m_link.Write(header) != SimLink::Status::Ok) {
        return false;
    }
    return m_link.Write(payload.data(), send) == SimLink::Status::Ok && send == payload.size();
}

bool SimCamera::SendPackets(const std::string& header, const std::vector<uint8_t>& payload, size_t packetSize)
{
    ORIN_TRACE("SimCamera::SendPackets");
    if (m_link.Write(header) != SimLink::Status::Ok) {
        return false;
    }
    const size_t count = (payload.size() + packetSize - 1) / packetSize;
    size_t index = 0;
    while (index < count) {
        size_t offset = index * packetSize;
        size_t expected = std::min(packetSize, payload.size() - offset);
        size_t send = expected;
        if (std::optional<SimFault> cut = m_faults.Take(SimFaultKind::ShortPacket, "GetImage")) {
            send = expected > static_cast<size_t>(cut->bytes) ? expected - static_cast<size_t>(cut->bytes) : 0;
            Note("FAULT short packet " + std::to_string(index) + ": " + std::to_string(send) + " of " +
                 std::to_string(expected));
        }
        if (m_link.Write(payload.data() + offset, send) != SimLink::Status::Ok) {
            Note("ABANDONED transfer: the line is gone");
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(m_statsMutex);
            ++m_stats.packetsSent;
        }
        switch (WaitForAcknowledgement(kAckWaitMs)) {
        case AckResult::Ack:
            ++index;
            break;
        case AckResult::Nak: {
            std::lock_guard<std::mutex> lock(m_statsMutex);
            ++m_stats.naksReceived;
            break;  // the same packet again
        }
        case AckResult::Other:
            Note("ABANDONED transfer: a new command came");
            return false;
        case AckResult::Timeout:
            Note("ABANDONED transfer: no acknowledgement");
            return false;
        case AckResult::Interrupted:
        case AckResult::Gone:
            Note("ABANDONED transfer: the line is gone");
            return false;
        }
    }
    return true;
}

SimCamera::AckResult SimCamera::WaitForAcknowledgement(int timeoutMs)
{
    ORIN_TRACE("SimCamera::WaitForAcknowledgement");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t buffer[512];
    while (true) {
        while (std::optional<std::string> text = m_reader.Next()) {
            std::optional<SimMessage> message = SimMessage::Parse(*text);
            if (message && message->Name() == "Ack") {
                std::lock_guard<std::mutex> lock(m_statsMutex);
                ++m_stats.received["Ack"];
                return AckResult::Ack;
            }
            if (message && message->Name() == "Nak") {
                Note("RECV " + *text);
                std::lock_guard<std::mutex> lock(m_statsMutex);
                ++m_stats.received["Nak"];
                return AckResult::Nak;
            }
            // The handheld gave up on the transfer and moved on (typically to resynchronise).
            m_pendingMessages.push_back(*text);
            return AckResult::Other;
        }
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return AckResult::Timeout;
        }
        int wait = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count()) + 1;
        size_t got = 0;
        switch (m_link.Read(buffer, sizeof buffer, got, std::min(wait, 200))) {
        case SimLink::Status::Ok:
            m_reader.Feed(buffer, got);
            break;
        case SimLink::Status::Interrupted:
            return AckResult::Interrupted;
        case SimLink::Status::Gone:
            return AckResult::Gone;
        case SimLink::Status::Timeout:
        case SimLink::Status::Woken:
            break;
        }
    }
}

void SimCamera::OnReSyncRequest(const SimMessage&, SimAnswer& answer)
{
    ORIN_TRACE("SimCamera::OnReSyncRequest");
    answer.message = SimMessage("ReSyncResponse");
}

void SimCamera::OnRequestSync(const SimMessage&, SimAnswer& answer)
{
    ORIN_TRACE("SimCamera::OnRequestSync");
    answer.message = SimMessage("Sync");
    for (const auto& [name, value] : m_settings.SyncAttributes()) {
        answer.message.Add(name, value);
    }
}

void SimCamera::OnGetImage(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimCamera::OnGetImage");
    const std::string* fileName = request.Find("file_name");
    if (fileName == nullptr) {
        answer = SimAnswer::Error("3");
        return;
    }
    if (!SimDisk::IsSafeName(*fileName)) {
        answer = SimAnswer::StorageError(8204);  // "Illegal pathname."
        return;
    }
    std::string error;
    if (!m_disk.ReadPreview(*fileName, answer.payload, error)) {
        answer = SimAnswer::StorageError(8203);  // "Filename not found."
        return;
    }
    int packetSize = -1;
    if (const std::string* asked = request.Find("PacketSize")) {
        int value = std::atoi(asked->c_str());
        if (value > 0) {
            packetSize = std::min(value, kMaxPacketSize);
        }
    }
    answer.hasPayload = true;
    answer.packetSize = packetSize;
    answer.message.Add("ATTACHMENT", std::to_string(answer.payload.size()));
    if (packetSize > 0) {
        answer.message.Add("Size", std::to_string(packetSize));
    }
}

void SimCamera::OnGetCameraParam(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimCamera::OnGetCameraParam");
    const std::string* list = request.Find("GetParamList");
    if (list == nullptr) {
        answer = SimAnswer::Error("3");
        return;
    }
    int found = 0;
    size_t start = 0;
    while (start <= list->size()) {
        size_t end = list->find(';', start);
        std::string name = list->substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!name.empty()) {
            if (std::optional<std::string> value = m_settings.Get(name)) {
                answer.message.Add(name, *value);
                ++found;
            }
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    if (found == 0) {
        answer = SimAnswer::StorageError(9);  // "Missing or invalid parameters."
    }
}

void SimCamera::OnSetCameraParam(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimCamera::OnSetCameraParam");
    if (request.Attributes().empty()) {
        answer = SimAnswer::StorageError(9);
        return;
    }
    for (const SimAttribute& attribute : request.Attributes()) {
        if (attribute.name == "Retransmission") {
            continue;
        }
        m_settings.Set(attribute.name, attribute.value);
    }
}

void SimCamera::OnFileCommand(const SimMessage& request, SimAnswer& answer)
{
    ORIN_TRACE("SimCamera::OnFileCommand");
    const std::string* subcommand = request.Find("FileCommand");
    if (subcommand == nullptr) {
        answer = SimAnswer::Error("3");
        return;
    }
    auto handler = m_fileCommands.find(*subcommand);
    if (handler == m_fileCommands.end()) {
        answer = SimAnswer::Error("2");
        return;
    }
    handler->second(request, answer);
}

}  // namespace camsim
