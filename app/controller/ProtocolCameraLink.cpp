#include "app/controller/ProtocolCameraLink.h"

#include "app/controller/CachePictureOperations.h"
#include "app/controller/ControlApplication.h"
#include "app/link/CommPort.h"
#include "app/platform/Log.h"

#include <filesystem>
#include <system_error>

CProtocolCameraLink::CProtocolCameraLink(CControlApplication& controller, std::string devicePath, uint32_t baud)
    : m_controller(controller),
      m_pPort(std::make_unique<CCommPort>(std::move(devicePath), baud)),
      m_pLayer(std::make_unique<CProtocolLayer>(m_pPort.get(), nullptr, this))
{
    ORIN_TRACE("CProtocolCameraLink::CProtocolCameraLink");
}

CProtocolCameraLink::~CProtocolCameraLink()
{
    ORIN_TRACE("CProtocolCameraLink::~CProtocolCameraLink");
    // The layer's threads use the port: they stop before it goes.
    Shutdown();
    m_pLayer.reset();
    m_pPort.reset();
}

void CProtocolCameraLink::Attach(CControlApplication& controller, std::string devicePath, uint32_t baud,
                                 const ProtocolTimeouts* timeouts)
{
    ORIN_TRACE("CProtocolCameraLink::Attach");
    auto link = std::make_unique<CProtocolCameraLink>(controller, std::move(devicePath), baud);
    if (timeouts != nullptr) {
        link->Layer().SetTimeouts(*timeouts);
    } else {
        std::error_code ec;
        if (!std::filesystem::exists(link->m_pPort->GetDevicePath(), ec)) {
            // No adapter plugged in: start at once from the local cache; the read thread opens
            // the line when it appears and the camera's sync brings the program online.
            ORIN_LOG_WARNING("CProtocolCameraLink::Attach", "%s is not there; starting without the camera",
                             link->m_pPort->GetDevicePath().c_str());
            ProtocolTimeouts quick = link->Layer().GetTimeouts();
            quick.connectTimeoutMs = 0;
            link->Layer().SetTimeouts(quick);
        }
    }
    auto cache = std::make_unique<CCache>(&link->Layer());
    cache->SetUserMessageHook([&controller](const std::u16string& text, CCache::MessageIcon icon) {
        controller.ShowMessage(text, icon == CCache::MessageIcon::Stop          ? CControlApplication::ICON_STOP
                                     : icon == CCache::MessageIcon::Question    ? CControlApplication::ICON_QUESTION
                                     : icon == CCache::MessageIcon::Exclamation ? CControlApplication::ICON_EXCLAMATION
                                                                                : CControlApplication::ICON_INFORMATION);
    });
    controller.SetStorageModel(std::move(cache));
    controller.SetPictureOperations(std::make_unique<CCachePictureOperations>(controller));
    controller.SetCameraLink(std::move(link));
}

bool CProtocolCameraLink::Init()
{
    ORIN_TRACE("CProtocolCameraLink::Init");
    m_pLayer->SetMessageTarget(m_controller.HiddenWindow());
    if (m_controller.PacketSize() > 0) {
        m_pLayer->SetPacketSize(static_cast<uint32_t>(m_controller.PacketSize()));
    }
    // True also when no camera answered: the program then works from the local cache and
    // synchronises once the camera comes.
    return m_pLayer->Init();
}

bool CProtocolCameraLink::ReSync()
{
    ORIN_TRACE("CProtocolCameraLink::ReSync");
    return m_pLayer->ReSync(false, nullptr, 1, true);
}

bool CProtocolCameraLink::ReSyncAndSynchronize()
{
    ORIN_TRACE("CProtocolCameraLink::ReSyncAndSynchronize");
    ProtocolCommand answer;
    if (!m_pLayer->ReSync(true, &answer, 1, true)) {
        return false;
    }
    OnSynchronized(answer);
    return true;
}

void CProtocolCameraLink::Shutdown()
{
    ORIN_TRACE("CProtocolCameraLink::Shutdown");
    if (m_pLayer) {
        m_pLayer->Shutdown();
    }
}

bool CProtocolCameraLink::IsConnected() const { return m_pLayer->IsOnline() && m_pLayer->IsInSync(); }

void CProtocolCameraLink::OnSynchronized(const ProtocolCommand& syncAnswer)
{
    ORIN_TRACE("CProtocolCameraLink::OnSynchronized");
    platform::Payload<ProtocolCommand> message{ProtocolCommand()};
    message.value.CopyFrom(syncAnswer);
    EventParameter parameter;
    parameter.message = &message;
    m_controller.ProcessEvent(ON_SYNCHRONIZE, &parameter);
}

void CProtocolCameraLink::SetNewestPicture(const std::u16string& fullName)
{
    m_controller.SetNewestPicture(fullName);
}
