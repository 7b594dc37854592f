// The abstract byte link to the camera back, implemented by the serial port (CCommPort) and,
// derived from it, the Bluetooth serial connection.
#pragma once

#include <cstdint>
#include <string>

// Milliseconds the transports and the protocol layer wait for the line between two looks at it
// (10 at start; transport selection sets 2 or 10). A wait ends early as soon as bytes arrive.
uint32_t GetCommandSleepTime();
void SetCommandSleepTime(uint32_t ms);

class CTransport {
public:
    // Slot 0.
    virtual ~CTransport() = default;
    // Slot 1: writes the whole block; false when not every byte went out.
    virtual bool WriteData(const uint8_t* data, uint32_t size) = 0;
    // Slot 2: bytes read (received-but-unconsumed bytes first), or -1 when the far end is absent.
    virtual int32_t ReadBytes(uint8_t* buffer, uint32_t count) = 0;
    // Slot 3: whether the far end is present.
    virtual bool IsConnected() = 0;
    // Slot 4.
    virtual bool OpenConnection() = 0;
    // Slot 5.
    virtual bool CloseConnection() = 0;
    // Slot 6: close, pause, open again.
    virtual bool ReOpenCommPort() = 0;
    // Slot 7: modem lines to the log.
    virtual void LogState() = 0;
    // Slot 8: line errors to the log.
    virtual void LogCommErrors() = 0;
    // Slot 9: the next message after a caret the caller has already consumed: "^" followed by
    // every byte up to and including the first ">".
    virtual bool ReadCommand(std::string& message) = 0;
    // Slot 10: drops everything unread (the port's queues and bytes held by the transport).
    virtual void PurgeCommPort() = 0;
    // Slot 11: bytes that can be read without waiting: held by the transport plus the port's.
    virtual uint32_t GetBytesAvailable() = 0;
    // Slot 12.
    virtual uint32_t GetMinPacketSize() = 0;
    // Slot 13.
    virtual uint32_t GetGrowUpPacketSize() = 0;
    // Slot 14.
    virtual uint32_t GetBaudRate() = 0;
    // Slot 15: the open descriptor, -1 when closed.
    virtual int GetHandle() = 0;
    // Slot 16: whether picture requests carry a packet size.
    virtual bool SupportsPacketSize() = 0;
    // Slot 17: the machine woke up.
    virtual void OnWakeup() = 0;

    // Waits at most ms for bytes to read (true when some can be read now). Lets readers wait for
    // the line instead of sleeping a fixed time between looks; the default just looks and sleeps.
    virtual bool WaitForData(uint32_t ms);
};
