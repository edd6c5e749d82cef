// A strict, ordered stand-in for the drive in front of every NVMe transport
// request: each expected request gets one scripted reply, in order; an extra
// request fails the test. Every request is recorded as raw bytes so tests can
// compare them with the numbers of the published layouts.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "platform/os.h"
#include "storage/device_io.h"

// Byte offsets of the 64-bit SCSI_PASS_THROUGH_DIRECT (Linux follows it).
namespace sptd64 {
constexpr size_t Length = 0, ScsiStatus = 2, CdbLength = 6, SenseInfoLength = 7, DataIn = 8,
                 DataTransferLength = 12, TimeOutValue = 16, DataBuffer = 24, SenseInfoOffset = 32, Cdb = 36;
constexpr size_t Size = 56, BlockSize = 128, Sense = 60;
}  // namespace sptd64
static_assert(sizeof(void*) == 8, "the tests read the 64-bit request layouts");

struct MockReply {
    BOOL ok = TRUE;
    DWORD error = 0;           // last error when ok is FALSE
    uint8_t scsi_status = 0;   // pass-through: written into the block
    std::vector<uint8_t> data; // pass-through: into DataBuffer; else into out at data_at
    size_t data_at = 0;
};

struct MockCall {
    HANDLE device;
    DWORD code;
    std::vector<uint8_t> in;
    DWORD out_size;
    bool out_is_in;
    std::vector<uint8_t> data_out;  // pass-through data going to the drive
    void* data_buffer;
};

inline uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline uint64_t U64(const std::vector<uint8_t>& b, size_t at) {
    return U32(b, at) | (static_cast<uint64_t>(U32(b, at + 4)) << 32);
}
inline std::vector<uint8_t> Bytes(const std::vector<uint8_t>& b, size_t at, size_t n) {
    return std::vector<uint8_t>(b.begin() + at, b.begin() + at + n);
}
inline std::vector<uint8_t> Cdb(const MockCall& c) { return Bytes(c.in, sptd64::Cdb, 16); }

class IoMock {
public:
    IoMock() {
        instance_ = this;
        previous_ = SetDeviceIoForTest(&IoMock::Handle);
    }
    ~IoMock() {
        SetDeviceIoForTest(previous_);
        instance_ = nullptr;
    }
    void Expect(const MockReply& reply) { replies_.push_back(reply); }
    void ExpectOk(int n = 1) {
        for (int i = 0; i < n; ++i) Expect(MockReply());
    }
    void ExpectFail(DWORD error = 31) {
        MockReply r;
        r.ok = FALSE;
        r.error = error;
        Expect(r);
    }
    void ExpectStatus(uint8_t status) {
        MockReply r;
        r.scsi_status = status;
        Expect(r);
    }
    void ExpectData(std::vector<uint8_t> data, size_t at = 0) {
        MockReply r;
        r.data = std::move(data);
        r.data_at = at;
        Expect(r);
    }
    size_t Unused() const { return replies_.size(); }
    std::vector<MockCall> calls;

private:
    static BOOL Handle(HANDLE device, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size,
                       DWORD* returned) {
        IoMock* self = instance_;
        MockCall call;
        call.device = device;
        call.code = code;
        call.in.assign(static_cast<uint8_t*>(in), static_cast<uint8_t*>(in) + in_size);
        call.out_size = out_size;
        call.out_is_in = (out == in);
        call.data_buffer = nullptr;
        bool pass_through = code == 0x0004D014u;
        if (pass_through) {
            std::memcpy(&call.data_buffer, call.in.data() + sptd64::DataBuffer, sizeof(void*));
            uint32_t length = U32(call.in, sptd64::DataTransferLength);
            if (call.in[sptd64::DataIn] == 0 && call.data_buffer && length)
                call.data_out.assign(static_cast<uint8_t*>(call.data_buffer),
                                     static_cast<uint8_t*>(call.data_buffer) + length);
        }
        self->calls.push_back(call);
        if (self->replies_.empty()) {
            ADD_FAILURE() << "unexpected request #" << self->calls.size() << " code " << std::hex << code;
            os::SetLastError(31);
            return FALSE;
        }
        MockReply reply = self->replies_.front();
        self->replies_.pop_front();
        if (!reply.ok) {
            os::SetLastError(reply.error);
            return FALSE;
        }
        if (pass_through) {
            static_cast<uint8_t*>(in)[sptd64::ScsiStatus] = reply.scsi_status;
            uint32_t length = U32(call.in, sptd64::DataTransferLength);
            size_t n = reply.data.size() < length ? reply.data.size() : length;
            if (n) std::memcpy(call.data_buffer, reply.data.data(), n);
        } else if (!reply.data.empty()) {
            EXPECT_LE(reply.data_at + reply.data.size(), out_size);
            std::memcpy(static_cast<uint8_t*>(out) + reply.data_at, reply.data.data(), reply.data.size());
        }
        if (returned) *returned = out_size;
        return TRUE;
    }
    inline static IoMock* instance_ = nullptr;
    DeviceIoFn previous_;
    std::deque<MockReply> replies_;
};
