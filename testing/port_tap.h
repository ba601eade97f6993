// A tap on the program's serial port: every port it opens is the real one
// (a pty, a simulator link), wrapped so that a test or a benchmark can see
// each byte written and read, count the status polls, and act at a chosen
// moment (truncate a file when a command goes out, say). The real opener is
// put back when the tap goes away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/serial/serial_device.h"

class PortTap {
public:
    // What the tap has seen. Shared with the devices it hands out, so a
    // port the program still holds after the tap is gone stays harmless.
    struct Record {
        std::string tried; // every byte the program asked to write
        std::string written; // the bytes of those that went out
        std::string read; // every byte the program read, in order
        size_t polls = 0; // status queries (one per ReadByte/ReadResponse)
        size_t pollsSinceWrite = 0; // status queries since the last write
        int opens = 0; // ports opened through the tap
        int closes = 0; // and closed again
        // Run after each write with the bytes that went out, and after each
        // read with the bytes that came in.
        std::function<void(const std::string&)> onWrite;
        std::function<void(const std::string&)> onRead;
        // May change the bytes of each read before the program sees them
        // (a disturbed line); `read` and onRead get the changed bytes.
        std::function<void(std::string&)> alterRead;
    };

    PortTap() : m_record(std::make_shared<Record>())
    {
        std::shared_ptr<Record> record = m_record;
        serial::SetOpener([record](const std::string& name) -> std::unique_ptr<serial::Device> {
            std::unique_ptr<serial::Device> real = serial::OpenNative(serial::DevicePath(name));
            if (!real)
                return nullptr;
            ++record->opens;
            return std::make_unique<Device>(record, std::move(real));
        });
    }
    ~PortTap() { serial::SetOpener({}); }
    PortTap(const PortTap&) = delete;
    PortTap& operator=(const PortTap&) = delete;

    Record& record() { return *m_record; }

private:
    class Device final : public serial::Device {
    public:
        Device(std::shared_ptr<Record> record, std::unique_ptr<serial::Device> real)
            : m_record(std::move(record)), m_real(std::move(real))
        {
        }
        bool SetQueueSizes(size_t input, size_t output) override { return m_real->SetQueueSizes(input, output); }
        bool Purge() override { return m_real->Purge(); }
        bool SetTimeouts(const serial::Timeouts& t) override { return m_real->SetTimeouts(t); }
        bool GetLineState(serial::LineState& out) override { return m_real->GetLineState(out); }
        bool SetLineState(const serial::LineState& s) override { return m_real->SetLineState(s); }
        bool ClearError(serial::Status& out) override
        {
            ++m_record->polls;
            ++m_record->pollsSinceWrite;
            return m_real->ClearError(out);
        }
        bool Read(void* buf, size_t size, size_t& got) override
        {
            bool ok = m_real->Read(buf, size, got);
            if (got > 0) {
                std::string bytes(static_cast<const char*>(buf), got);
                if (m_record->alterRead) {
                    m_record->alterRead(bytes);
                    bytes.resize(got);
                    bytes.copy(static_cast<char*>(buf), got);
                }
                m_record->read += bytes;
                if (m_record->onRead)
                    m_record->onRead(bytes);
            }
            return ok;
        }
        bool Write(const void* buf, size_t size, size_t& put) override
        {
            bool ok = m_real->Write(buf, size, put);
            m_record->pollsSinceWrite = 0;
            m_record->tried.append(static_cast<const char*>(buf), size);
            std::string bytes(static_cast<const char*>(buf), put);
            m_record->written += bytes;
            if (m_record->onWrite)
                m_record->onWrite(bytes);
            return ok;
        }
        bool GetModemLines(serial::ModemLines& out) override { return m_real->GetModemLines(out); }
        bool WaitForInput(unsigned ms) override { return m_real->WaitForInput(ms); }
        bool Close() override
        {
            ++m_record->closes;
            return m_real->Close();
        }

    private:
        std::shared_ptr<Record> m_record;
        std::unique_ptr<serial::Device> m_real;
    };

    std::shared_ptr<Record> m_record;
};
