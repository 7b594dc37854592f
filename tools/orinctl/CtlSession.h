// One orinctl run's link to the camera: the serial port, the protocol layer with its threads,
// and the first resynchronisation (ReSyncRequest, then RequestSync), exactly as the program's
// start does it.
#pragma once

#include "app/link/ProtocolHost.h"
#include "tools/orinctl/CtlInbox.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class CCommPort;
class CProtocolLayer;

class CtlSession : public IProtocolHost {
public:
    // devicePath empty: the registry's Device (else /dev/ttyUSB0); baud 0: the registry's.
    CtlSession(std::string devicePath, uint32_t baud);
    ~CtlSession() override;
    CtlSession(const CtlSession&) = delete;
    CtlSession& operator=(const CtlSession&) = delete;

    // Opens the port (waiting up to waitMs for it) and synchronises; false with Error() set.
    bool Open(uint32_t waitMs);
    const std::string& Error() const { return m_strError; }
    const std::string& DevicePath() const;

    CProtocolLayer& Layer() { return *m_pLayer; }
    CtlInbox& Inbox() { return m_inbox; }
    // The Sync answer of the last synchronisation.
    ProtocolCommand SyncAnswer() const;

    void OnSynchronized(const ProtocolCommand& syncAnswer) override;
    // The picture the camera announced last (the link records it before posting the message).
    void SetNewestPicture(const std::u16string& fullName) override;
    std::string NewestPicture() const;

    // Whether a picture's download reports its progress on stderr: rewritten in place on a
    // terminal, one line per tenth otherwise.
    void ShowProgress(bool show);
    void OnPictureProgress(uint32_t received, uint32_t total) override;

private:
    std::string m_strDevice;
    uint32_t m_dwBaud;
    CtlInbox m_inbox;
    std::unique_ptr<CCommPort> m_pPort;
    std::unique_ptr<CProtocolLayer> m_pLayer;
    mutable std::mutex m_syncMutex;
    ProtocolCommand m_syncAnswer;
    std::string m_strNewestPicture;
    std::string m_strError;
    // Progress is reported on the link's read thread, switched on and off on the caller's.
    std::mutex m_progressMutex;
    bool m_bShowProgress = false;
    bool m_bProgressOnTerminal = false;
    bool m_bProgressLineOpen = false;
    uint32_t m_dwLastReceived = 0;
    uint32_t m_dwLastTenth = 0;
};
