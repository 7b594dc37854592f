#include "app/link/ImageReader.h"

#include "app/link/Transport.h"
#include "app/platform/Log.h"
#include "app/platform/TickCount.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const char kAck[] = "^<Ack />";
const char kNak[] = "^<Nak />";

}  // namespace

CImageReader::CImageReader(CTransport& transport, std::atomic<bool>& readingImage,
                           std::atomic<uint32_t>& progressTick, Limits limits)
    : m_transport(transport), m_bReadingImage(readingImage), m_dwProgressTick(progressTick), m_limits(limits)
{
    ORIN_TRACE("CImageReader::CImageReader");
}

uint32_t CImageReader::PacketTimeLimit(uint32_t packetSize, uint32_t baudRate, uint32_t minMs)
{
    ORIN_TRACE("CImageReader::PacketTimeLimit");
    const float baud = baudRate == 0 ? 230400.0f : static_cast<float>(baudRate);
    // One and a half times the packet's time on the line.
    const float limit = static_cast<float>(packetSize) * 8.0f * 1500.0f / baud;
    const uint32_t ms = limit >= 4294967295.0f ? UINT32_MAX : static_cast<uint32_t>(limit);
    return std::max(ms, minMs);
}

uint32_t CImageReader::PacketCount(uint32_t length, uint32_t packetSize)
{
    ORIN_TRACE("CImageReader::PacketCount");
    if (packetSize == 0) {
        return 0;
    }
    return length / packetSize + (length % packetSize != 0 ? 1 : 0);
}

uint32_t CImageReader::PacketLength(uint32_t length, uint32_t packetSize, uint32_t index)
{
    ORIN_TRACE("CImageReader::PacketLength");
    const uint32_t count = PacketCount(length, packetSize);
    if (count == 0 || index >= count) {
        return 0;
    }
    if (index + 1 < count) {
        return packetSize;
    }
    const uint32_t rest = length - (length / packetSize) * packetSize;
    return rest == 0 ? packetSize : rest;
}

bool CImageReader::ReadImage(uint8_t* buffer, uint32_t length, int32_t packetSize)
{
    ORIN_TRACE("CImageReader::ReadImage");
    bool result = false;
    if (!m_transport.IsConnected()) {
        ORIN_LOG_ERROR("CImageReader::ReadImage", "transport offline");
    } else if (buffer == nullptr || length == 0) {
        ORIN_LOG_ERROR("CImageReader::ReadImage", "Nothing to read: %u bytes", length);
    } else if (packetSize == 0) {
        // A zero packet size cannot be counted in packets; the bytes come as one stream.
        ORIN_LOG_ERROR("CImageReader::ReadImage", "Packet size is zero");
        result = ReadStream(buffer, length);
    } else if (packetSize < 0) {
        result = ReadStream(buffer, length);
    } else {
        result = ReadPackets(buffer, length, static_cast<uint32_t>(packetSize));
    }
    m_bReadingImage = false;
    ORIN_LOG_INFO("CImageReader::ReadImage", "CProtocolLayer::ReadImage returned %s", result ? "true" : "false");
    return result;
}

bool CImageReader::ReadPackets(uint8_t* buffer, uint32_t length, uint32_t packetSize)
{
    ORIN_TRACE("CImageReader::ReadPackets");
    const uint32_t limit = PacketTimeLimit(packetSize, m_transport.GetBaudRate(), m_limits.minPacketMs);
    const uint32_t count = PacketCount(length, packetSize);
    uint32_t total = 0;
    int failures = 0;
    for (uint32_t index = 0; index < count;) {
        const uint32_t expected = PacketLength(length, packetSize, index);
        const uint32_t got = ReadPacket(buffer + total, expected, index, total, limit);
        if (!m_bReadingImage) {
            // The requester gave up (or the layer shuts down): the camera is being
            // resynchronised, and its answers must not be eaten as packet bytes or answered
            // with a Nak.
            ORIN_LOG_ERROR("CImageReader::ReadPackets", "Image reading stopped at %u of %u bytes", total + got, length);
            return false;
        }
        if (!m_transport.IsConnected()) {
            ORIN_LOG_ERROR("CImageReader::ReadPackets", "connection go offline during image reading");
            return false;
        }
        if (got == expected) {
            failures = 0;
            total += expected;
            ++index;
            ORIN_LOG_INFO("CImageReader::ReadPackets", "Sending Ack response");
            if (!WriteAck(kAck)) {
                return false;
            }
            ReportProgress(total, length);
            continue;
        }
        ++failures;
        if (failures >= kMaxFailures) {
            ORIN_LOG_ERROR("CImageReader::ReadPackets", "Failed to read image. No more attempts");
            return false;
        }
        if (got > 0) {
            // The packet's bytes are not counted; the camera sends the whole packet again.
            DrainLine();
            ORIN_LOG_INFO("CImageReader::ReadPackets", "Sending Nak response");
            if (!WriteAck(kNak)) {
                return false;
            }
        }
    }
    return true;
}

uint32_t CImageReader::ReadPacket(uint8_t* buffer, uint32_t expected, uint32_t index, uint32_t total,
                                  uint32_t timeLimit)
{
    ORIN_TRACE("CImageReader::ReadPacket");
    uint32_t start = platform::TickCount();
    uint32_t got = 0;
    bool firstData = false;
    while (got < expected && m_bReadingImage) {
        const uint32_t available = m_transport.GetBytesAvailable();
        if (available > 0) {
            if (!firstData) {
                firstData = true;
                start = platform::TickCount();
            }
            // Never more than the packet still needs: the next bytes belong to the next packet
            // (or, after a Nak, to the packet sent again).
            const uint32_t wanted = std::min(available, expected - got);
            const int32_t n = m_transport.ReadBytes(buffer + got, wanted);
            if (n < 0) {
                ORIN_LOG_ERROR("CImageReader::ReadPacket", "ReadFile failed");
                break;
            }
            if (n > 0) {
                got += static_cast<uint32_t>(n);
                m_dwProgressTick = platform::TickCount();
            }
            continue;
        }
        const uint32_t allowed = firstData ? timeLimit : m_limits.firstByteMs;
        const uint32_t waited = platform::TicksSince(start);
        if (waited > allowed || !m_transport.IsConnected()) {
            ORIN_LOG_ERROR("CImageReader::ReadPacket", "Packet %u, Bytes read in packet %u, Bytes read total %u", index,
                           got, total);
            ORIN_LOG_ERROR("CImageReader::ReadPacket", "CProtocolLayer::ReadImage. Timeout while waiting for packet.");
            break;
        }
        m_transport.WaitForData(std::min(GetCommandSleepTime(), allowed - waited + 1));
    }
    return got;
}

void CImageReader::DrainLine()
{
    ORIN_TRACE("CImageReader::DrainLine");
    const uint32_t start = platform::TickCount();
    std::vector<uint8_t> scrap(4096);
    uint32_t dropped = 0;
    while (platform::TicksSince(start) < m_limits.maxQuietWaitMs) {
        if (!m_transport.WaitForData(m_limits.quietBeforeNakMs)) {
            if (dropped > 0) {
                ORIN_LOG_WARNING("CImageReader::DrainLine", "%u late bytes of the failed packet dropped", dropped);
            }
            return;
        }
        const uint32_t available = std::min<uint32_t>(m_transport.GetBytesAvailable(), 4096);
        const int32_t n = available > 0 ? m_transport.ReadBytes(scrap.data(), available) : 0;
        if (n < 0) {
            return;
        }
        dropped += static_cast<uint32_t>(n);
    }
    // The line never went quiet: throw away whatever is queued and let the Nak sort it out.
    ORIN_LOG_WARNING("CImageReader::DrainLine", "Line not quiet after %u ms, purging", m_limits.maxQuietWaitMs);
    m_transport.PurgeCommPort();
}

bool CImageReader::WriteAck(const char* text)
{
    ORIN_TRACE("CImageReader::WriteAck");
    if (!m_transport.WriteData(reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(std::strlen(text)))) {
        ORIN_LOG_ERROR("CImageReader::WriteAck", "WriteData failed");
        return false;
    }
    return true;
}

bool CImageReader::ReadStream(uint8_t* buffer, uint32_t length)
{
    ORIN_TRACE("CImageReader::ReadStream");
    uint32_t total = 0;
    uint32_t lastProgress = platform::TickCount();
    while (total < length) {
        if (!m_transport.IsConnected()) {
            ORIN_LOG_ERROR("CImageReader::ReadStream", "connection go offline during image reading");
            return false;
        }
        if (!m_bReadingImage) {
            ORIN_LOG_ERROR("CImageReader::ReadStream", "Image reading stopped at %u of %u bytes", total, length);
            return false;
        }
        const uint32_t available = m_transport.GetBytesAvailable();
        if (available > 0) {
            const uint32_t wanted = std::min({available, length - total, kStreamChunk});
            const int32_t n = m_transport.ReadBytes(buffer + total, wanted);
            if (n < 0) {
                ORIN_LOG_ERROR("CImageReader::ReadStream", "ReadFile failed");
                return false;
            }
            if (static_cast<uint32_t>(n) != wanted) {
                ORIN_LOG_WARNING("CImageReader::ReadStream", "CProtocolLayer::ReadImage() dwBytesToRead != dwBytesRead, %d != %d",
                                 static_cast<int>(wanted), static_cast<int>(n));
            }
            if (n == 0) {
                m_transport.LogCommErrors();
                platform::SleepMs(10);
                continue;
            }
            total += static_cast<uint32_t>(n);
            lastProgress = platform::TickCount();
            m_dwProgressTick = lastProgress;
            ORIN_LOG_INFO("CImageReader::ReadStream", "CProtocolLayer::ReadImage Bytes read: %d", n);
            ReportProgress(total, length);
            continue;
        }
        // Nobody may be waiting to stop an unrequested stream: a camera that falls silent must
        // not hold the read thread for ever.
        if (platform::TicksSince(lastProgress) > m_limits.streamStallMs) {
            ORIN_LOG_ERROR("CImageReader::ReadStream", "Stream stalled at %u of %u bytes", total, length);
            return false;
        }
        m_transport.WaitForData(10);
    }
    return true;
}

void CImageReader::ReportProgress(uint32_t received, uint32_t total) const
{
    if (m_progress) {
        m_progress(received, total);
    }
}
