// The verdict of an ATA command by the sense data: SCSI/ATA translation
// answered with CHECK CONDITION is a refusal unless the sense says NO SENSE
// or RECOVERED ERROR; the native port falls back to translation once, and
// fails only when both ways fail.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <deque>
#include <vector>

#include "platform/storage_layouts.h"
#include "sata/ata_command.h"
#include "storage/device_io.h"
#include "storage/scsi_block.h"

namespace {

// One scripted answer: the request fails, or comes back with a SCSI status,
// sense bytes, and (ATA pass-through) a status register.
struct Answer {
    BOOL ok = TRUE;
    uint8_t scsi_status = 0;
    std::vector<uint8_t> sense;
    uint8_t ata_status = 0x50;  // DRDY | DSC
};

std::deque<Answer> g_answers;
std::vector<DWORD> g_codes;

BOOL Scripted(HANDLE, DWORD code, void* in, DWORD, void*, DWORD, DWORD* returned) {
    g_codes.push_back(code);
    if (g_answers.empty()) {
        ADD_FAILURE() << "unexpected request " << std::hex << code;
        return FALSE;
    }
    Answer a = g_answers.front();
    g_answers.pop_front();
    if (!a.ok) return FALSE;
    if (code == kIoctlScsiPassThroughDirect) {
        ScsiBlock* block = static_cast<ScsiBlock*>(in);
        block->sptd.ScsiStatus = a.scsi_status;
        if (!a.sense.empty()) std::memcpy(block->SenseBuffer, a.sense.data(), a.sense.size());
    } else if (code == kIoctlAtaPassThroughDirect) {
        static_cast<AtaPassThroughDirect*>(in)->CurrentTaskFile[6] = a.ata_status;
    }
    if (returned) *returned = 0;
    return TRUE;
}

std::vector<uint8_t> FixedSense(uint8_t key) {
    std::vector<uint8_t> s(18, 0);
    s[0] = 0x70;
    s[2] = key;
    s[7] = 10;
    return s;
}
std::vector<uint8_t> DescriptorSense(uint8_t key) { return {0x72, key, 0x00, 0x1D, 0, 0, 0, 0}; }

Answer Refused() {
    Answer a;
    a.ok = FALSE;
    return a;
}

Answer CheckCondition(std::vector<uint8_t> sense) {
    Answer a;
    a.scsi_status = kScsiCheckCondition;
    a.sense = std::move(sense);
    return a;
}

class AtaVerdict : public ::testing::Test {
protected:
    void SetUp() override {
        g_answers.clear();
        g_codes.clear();
        previous_ = SetDeviceIoForTest(&Scripted);
    }
    void TearDown() override {
        SetDeviceIoForTest(previous_);
        EXPECT_TRUE(g_answers.empty()) << "answers left unused";
    }
    int ConfigWrite(int32_t cmd_type) {
        DiskAccess access = {};
        access.iCmdType = cmd_type;
        BYTE block[kVendorBlock] = {};
        return SataSetFWConfig(&access, reinterpret_cast<HANDLE>(0x44), block);
    }
    DeviceIoFn previous_ = nullptr;
};

TEST_F(AtaVerdict, TranslationRefusalsFailAndInformationalSenseDoesNot) {
    struct Case {
        const char* what;
        Answer answer;
        int expected;
    } cases[] = {
        {"GOOD", Answer(), 1},
        {"ABORTED COMMAND, fixed sense", CheckCondition(FixedSense(0x0B)), 0},
        {"ILLEGAL REQUEST, fixed sense", CheckCondition(FixedSense(0x05)), 0},
        {"MEDIUM ERROR, deferred fixed sense", CheckCondition({0x71, 0, 0x03, 0, 0, 0, 0, 10}), 0},
        {"ABORTED COMMAND, descriptor sense", CheckCondition(DescriptorSense(0x0B)), 0},
        {"no sense data at all", CheckCondition({}), 0},
        {"NO SENSE, fixed sense", CheckCondition(FixedSense(0x00)), 1},
        {"RECOVERED ERROR, fixed sense", CheckCondition(FixedSense(0x01)), 1},
        {"RECOVERED ERROR, descriptor sense", CheckCondition(DescriptorSense(0x01)), 1},
        {"the request itself failed", Refused(), 0},
    };
    for (int32_t cmd_type : {static_cast<int32_t>(kCmdSataUsb), static_cast<int32_t>(kCmdSataScsi)}) {
        for (const Case& c : cases) {
            g_codes.clear();
            g_answers.push_back(c.answer);
            EXPECT_EQ(ConfigWrite(cmd_type), c.expected) << c.what << ", type " << cmd_type;
            // Translation only: one request, never the ATA pass-through.
            EXPECT_EQ(g_codes, std::vector<DWORD>{kIoctlScsiPassThroughDirect}) << c.what;
        }
    }
}

TEST_F(AtaVerdict, NativePortFailsOnlyWhenBothWaysFail) {
    Answer ata_error;
    ata_error.ata_status = 0x51;  // ERR
    // ATA pass-through succeeds: no translation.
    g_answers = {Answer()};
    EXPECT_EQ(ConfigWrite(kCmdSataNative), 1);
    EXPECT_EQ(g_codes, std::vector<DWORD>{kIoctlAtaPassThroughDirect});
    // ATA error, then the translation is refused: failed.
    g_codes.clear();
    g_answers = {ata_error, CheckCondition(FixedSense(0x0B))};
    EXPECT_EQ(ConfigWrite(kCmdSataNative), 0);
    EXPECT_EQ(g_codes, (std::vector<DWORD>{kIoctlAtaPassThroughDirect, kIoctlScsiPassThroughDirect}));
    // ATA pass-through fails, the translation is GOOD: success.
    g_codes.clear();
    g_answers = {Refused(), Answer()};
    EXPECT_EQ(ConfigWrite(kCmdSataNative), 1);
    EXPECT_EQ(g_codes.size(), 2u);
}

}  // namespace
