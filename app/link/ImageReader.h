// Reads a picture payload that follows its answer message, in acknowledged packets or as one
// stream. Used by the protocol layer's read thread; every byte comes through the transport, so
// bytes the command reader already took off the line are not skipped.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

class CTransport;

class CImageReader {
public:
    struct Limits {
        uint32_t firstByteMs = 1000;  // wait for a packet's first byte
        uint32_t minPacketMs = 500;   // floor of the per-packet limit
        // Before a Nak the line must be quiet this long, so the late tail of the failed packet
        // is not taken as the start of the resent one.
        uint32_t quietBeforeNakMs = 100;
        uint32_t maxQuietWaitMs = 2000;
        // A stream that brings nothing for this long is given up.
        uint32_t streamStallMs = 5000;
    };

    static constexpr uint32_t kStreamChunk = 100000;
    static constexpr int kMaxFailures = 3;

    // readingImage: cleared by the requester to stop the read; progressTick: the tick of
    // the last bytes received, updated while reading.
    CImageReader(CTransport& transport, std::atomic<bool>& readingImage,
                 std::atomic<uint32_t>& progressTick, Limits limits);

    bool ReadImage(uint8_t* buffer, uint32_t length, int32_t packetSize);

    // Told the bytes received so far each time a packet is accepted or a chunk arrives.
    using Progress = std::function<void(uint32_t received, uint32_t total)>;
    void SetProgress(Progress progress) { m_progress = std::move(progress); }

    // Time a packet has to complete after its first byte: packetSize × 8 × 1500 ÷ baud ms
    // (230400 when the baud rate is 0), never below minMs.
    static uint32_t PacketTimeLimit(uint32_t packetSize, uint32_t baudRate, uint32_t minMs = 500);
    static uint32_t PacketCount(uint32_t length, uint32_t packetSize);
    // Size of packet index (0-based) of a payload of length bytes.
    static uint32_t PacketLength(uint32_t length, uint32_t packetSize, uint32_t index);

private:
    bool ReadPackets(uint8_t* buffer, uint32_t length, uint32_t packetSize);
    bool ReadStream(uint8_t* buffer, uint32_t length);
    // Reads one packet; returns the bytes of it received (== expected when complete).
    uint32_t ReadPacket(uint8_t* buffer, uint32_t expected, uint32_t index, uint32_t total,
                        uint32_t timeLimit);
    // Drops whatever still arrives until the line has been quiet for a while.
    void DrainLine();
    bool WriteAck(const char* text);
    void ReportProgress(uint32_t received, uint32_t total) const;

    CTransport& m_transport;
    std::atomic<bool>& m_bReadingImage;
    std::atomic<uint32_t>& m_dwProgressTick;
    Limits m_limits;
    Progress m_progress;
};
