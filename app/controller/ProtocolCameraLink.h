// The camera link the program runs on: the serial transport for the configured device and the
// protocol layer over it, posting the camera's messages to the controller's hidden window.
#pragma once

#include "app/controller/CameraLink.h"
#include "app/link/ProtocolHost.h"
#include "app/link/ProtocolLayer.h"

#include <cstdint>
#include <memory>
#include <string>

class CCommPort;
class CControlApplication;

class CProtocolCameraLink : public ICameraLink, public IProtocolHost {
public:
    // devicePath empty: the registry's Device under Serial (else /dev/ttyUSB0); baud 0: the
    // registry's Baudrate.
    CProtocolCameraLink(CControlApplication& controller, std::string devicePath, uint32_t baud = 0);
    ~CProtocolCameraLink() override;
    CProtocolCameraLink(const CProtocolCameraLink&) = delete;
    CProtocolCameraLink& operator=(const CProtocolCameraLink&) = delete;

    // Gives the controller this link, a storage model over its protocol layer and the picture
    // operations over that model.
    static void Attach(CControlApplication& controller, std::string devicePath, uint32_t baud = 0,
                       const ProtocolTimeouts* timeouts = nullptr);

    bool Init() override;
    bool ReSync() override;
    // Resynchronises and hands the camera's Sync answer to the controller (ON_SYNCHRONIZE).
    bool ReSyncAndSynchronize();
    void Shutdown() override;
    bool IsConnected() const override;

    CProtocolLayer& Layer() { return *m_pLayer; }

    // From the protocol layer.
    void OnSynchronized(const ProtocolCommand& syncAnswer) override;
    void SetNewestPicture(const std::u16string& fullName) override;

private:
    CControlApplication& m_controller;
    std::unique_ptr<CCommPort> m_pPort;
    std::unique_ptr<CProtocolLayer> m_pLayer;
};
