// A strict, ordered stand-in for a SATA drive in front of every request the
// SATA code sends through DeviceIo: each expected request gets one scripted
// reply, in order; an extra request fails the test. Requests are kept as raw
// bytes so tests compare them with the published 64-bit layouts, not with
// our own structures.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <vector>

#include "platform/os.h"
#include "storage/device_io.h"

static_assert(sizeof(void*) == 8, "the tests read the 64-bit request layouts");

// ATA_PASS_THROUGH_DIRECT, 64-bit.
namespace aptd64 {
constexpr size_t Length = 0, AtaFlags = 2, PathId = 4, TargetId = 5, Lun = 6, ReservedAsUchar = 7,
                 DataTransferLength = 8, TimeOutValue = 12, ReservedAsUlong = 16, DataBuffer = 24,
                 PreviousTaskFile = 32, CurrentTaskFile = 40, Size = 48;
}
// SCSI_PASS_THROUGH_DIRECT, 64-bit, and the block with its sense area.
namespace sptd64 {
constexpr size_t Length = 0, ScsiStatus = 2, PathId = 3, TargetId = 4, Lun = 5, CdbLength = 6,
                 SenseInfoLength = 7, DataIn = 8, DataTransferLength = 12, TimeOutValue = 16, DataBuffer = 24,
                 SenseInfoOffset = 32, Cdb = 36, Size = 56, BlockSize = 128, Sense = 60;
}

constexpr DWORD kAtaIoctl = 0x0004D030u;
constexpr DWORD kSptIoctl = 0x0004D014u;

struct AtaReply {
    BOOL ok = TRUE;
    DWORD error = 31;
    uint8_t status = 0x50;      // ATA: returned status register
    uint8_t scsi_status = 0;    // SCSI pass-through: written into the block
    std::vector<uint8_t> data;  // pass-through: into DataBuffer; else into out at 0
};

struct AtaCall {
    DWORD code;
    std::vector<uint8_t> in;
    DWORD out_size;
    bool out_is_in;
    void* data_buffer;
    std::vector<uint8_t> data_out;  // what DataBuffer held for a data-out request
};

inline uint32_t Le32At(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
inline uint16_t Le16At(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
inline std::vector<uint8_t> Slice(const std::vector<uint8_t>& b, size_t at, size_t n) {
    return std::vector<uint8_t>(b.begin() + at, b.begin() + at + n);
}

class AtaMock {
public:
    AtaMock() {
        instance_ = this;
        previous_ = SetDeviceIoForTest(&AtaMock::Handle);
    }
    ~AtaMock() {
        SetDeviceIoForTest(previous_);
        instance_ = nullptr;
    }
    void Expect(const AtaReply& reply) { replies_.push_back(reply); }
    void ExpectOk(int n = 1) {
        for (int i = 0; i < n; ++i) Expect(AtaReply());
    }
    void ExpectFail() {
        AtaReply r;
        r.ok = FALSE;
        Expect(r);
    }
    void ExpectStatus(uint8_t status) {
        AtaReply r;
        r.status = status;
        Expect(r);
    }
    void ExpectData(std::vector<uint8_t> data) {
        AtaReply r;
        r.data = std::move(data);
        Expect(r);
    }
    // Every further request succeeds without being recorded in detail.
    void AnswerAllOk() { answer_all_ = true; }
    size_t Unused() const { return replies_.size(); }
    // Called before each reply (the test can look at the log or the clock).
    std::function<void(const AtaCall&)> on_call;
    std::vector<AtaCall> calls;
    size_t count = 0;

private:
    static BOOL Handle(HANDLE, DWORD code, void* in, DWORD in_size, void* out, DWORD out_size, DWORD* returned) {
        AtaMock* self = instance_;
        ++self->count;
        const bool ata = code == kAtaIoctl, spt = code == kSptIoctl;
        AtaCall call;
        call.code = code;
        call.in.assign(static_cast<uint8_t*>(in), static_cast<uint8_t*>(in) + in_size);
        call.out_size = out_size;
        call.out_is_in = out == in;
        call.data_buffer = nullptr;
        uint32_t length = 0;
        bool data_out = false;
        if ((ata && in_size >= aptd64::Size) || (spt && in_size >= sptd64::Size)) {
            std::memcpy(&call.data_buffer, call.in.data() + (ata ? aptd64::DataBuffer : sptd64::DataBuffer),
                        sizeof(void*));
            length = Le32At(call.in, ata ? aptd64::DataTransferLength : sptd64::DataTransferLength);
            data_out = ata ? (Le16At(call.in, aptd64::AtaFlags) & 4) != 0 : call.in[sptd64::DataIn] == 0;
            if (data_out && call.data_buffer && length && !self->answer_all_)
                call.data_out.assign(static_cast<uint8_t*>(call.data_buffer),
                                     static_cast<uint8_t*>(call.data_buffer) + length);
        }
        if (self->on_call) self->on_call(call);
        AtaReply reply;
        if (self->answer_all_) {
            if (returned) *returned = out_size;
            return TRUE;
        }
        self->calls.push_back(call);
        if (self->replies_.empty()) {
            ADD_FAILURE() << "unexpected request #" << self->calls.size() << " code " << std::hex << code;
            os::SetLastError(31);
            return FALSE;
        }
        reply = self->replies_.front();
        self->replies_.pop_front();
        if (!reply.ok) {
            os::SetLastError(reply.error);
            return FALSE;
        }
        if (ata || spt) {
            if (ata) static_cast<uint8_t*>(out)[aptd64::CurrentTaskFile + 6] = reply.status;
            if (spt) static_cast<uint8_t*>(out)[sptd64::ScsiStatus] = reply.scsi_status;
            size_t n = reply.data.size() < length ? reply.data.size() : length;
            if (n && call.data_buffer) std::memcpy(call.data_buffer, reply.data.data(), n);
        } else if (!reply.data.empty()) {
            EXPECT_LE(reply.data.size(), out_size);
            std::memcpy(out, reply.data.data(), reply.data.size() < out_size ? reply.data.size() : out_size);
        }
        if (returned) *returned = out_size;
        return TRUE;
    }
    inline static AtaMock* instance_ = nullptr;
    DeviceIoFn previous_;
    std::deque<AtaReply> replies_;
    bool answer_all_ = false;
};
