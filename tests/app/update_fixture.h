// The tool end to end on the headless dialog host against a simulated
// machine: a firmware package built here (configuration and images), zipped
// and registered as the embedded resource; the dialog started through the
// entry point; and what the user saw (bar positions, message boxes, log).
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/disk_info.h"
#include "platform/sim/sim_machine.h"
#include "tests/common/temp_dir.h"

struct TestPackage {
    std::vector<std::pair<std::string, std::string>> keys;     // UPDATEINFO, in order
    std::vector<std::pair<std::string, std::string>> nandmap;  // NandMap
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    void Set(const std::string& key, const std::string& value);
};

// A CMFG image of firmware_pages pages of firmware, sealed with CRC-32C,
// trailer version "1A2B3C5E" unless told, FTL build 0x12345, and a
// configuration block whose version text at 0x428 is config_version.
std::vector<uint8_t> MakeTestImage(size_t firmware_pages, const std::string& version = "1A2B3C5E",
                                   uint32_t ftl_build = 0x00012345, const std::string& config_version = "VX5A0100");
// The package the default simulated NVMe drive fits: model, revision list,
// NAND map to "VX500_B17A.bin" (and 2CC30832EA_2 to "VX500_N48R.bin"),
// NEWVERSION "VX5A0200", no BeforeMessage / AfterMessage.
TestPackage DefaultTestPackage();
std::vector<uint8_t> ZipStored(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files);

class UpdateFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void Install(const sim::MachineDesc& machine);
    void UsePackage(const TestPackage& package);
    // Starts the tool with this command line; the dialog, or null.
    HWND Start(const std::string& command_line = "");
    // Escape; expects the tool to end with 0.
    void Close();

    std::vector<int> Positions();  // PBM_SETPOS positions seen, in order
    void ClearPositions();
    // Positions with runs of the same value folded into one.
    std::vector<int> DistinctPositions();
    std::vector<std::u16string> LogLines();  // debug lines without their prefix
    bool Logged(const std::u16string& line);
    int LogIndex(const std::u16string& prefix);  // first line starting so, -1 none
    std::vector<std::u16string> ListTexts();

    // One run: RUN pressed, the worker done, its result handled.
    void Run();
    // The run's result; exactly one per run.
    int Result();
    // Idle again with nothing held: controls back, no worker, no handle,
    // set, memory block or thread left, nothing closed twice.
    void ExpectCleanIdle();
    std::vector<std::u16string> BoxTexts();  // message box texts, in order

    TempDir tmp_;
    std::mutex mutex_;
    std::vector<int> positions_;
    int results_before_ = 0;
};

std::u16string U16(const std::string& text);
