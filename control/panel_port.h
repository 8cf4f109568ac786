#pragma once

#include <cstdint>

// The five port operations the panel controller uses. Parity, stop bits and flow control take the
// numbers of the serial library's settings (parity 0 none, stop bits 0 one, flow control 0 none).
class PanelPort {
public:
    virtual ~PanelPort() = default;

    // Records the settings for the next open.
    virtual void init(const char* portName, std::int32_t baudRate, std::int32_t parity, std::int32_t dataBits,
                      std::int32_t stopBits, std::int32_t flowControl, std::uint32_t readBufferSize) = 0;
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() = 0;
    // Bytes written, or -1.
    virtual std::int32_t write(const char* data, std::int32_t size) = 0;
};
