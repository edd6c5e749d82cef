#include "tests/app/update_fixture.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "app/app_main.h"
#include "app/dialog_ids.h"
#include "app/update_worker.h"
#include "core/app_state.h"
#include "package/image.h"
#include "platform/host/host_control.h"
#include "platform/host/host_objects.h"

std::u16string U16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

void TestPackage::Set(const std::string& key, const std::string& value) {
    for (auto& kv : keys)
        if (kv.first == key) {
            kv.second = value;
            return;
        }
    keys.emplace_back(key, value);
}

std::vector<uint8_t> MakeTestImage(size_t firmware_pages, const std::string& version, uint32_t ftl_build,
                                   const std::string& config_version) {
    std::vector<uint8_t> firmware(firmware_pages * image::kPage);
    for (size_t i = 0; i < firmware.size(); ++i) firmware[i] = static_cast<uint8_t>(i * 7 + 3);
    std::vector<uint8_t> config(image::kConfigBlock);
    for (size_t i = 0; i < 0x400; ++i) config[i] = static_cast<uint8_t>(0xA0 + i % 16);
    std::memcpy(config.data() + image::kConfigVersion, config_version.data(), config_version.size());
    ImageDesc desc = {};
    desc.firmware = firmware.data();
    desc.firmware_size = firmware.size();
    desc.config = config.data();
    desc.config_size = config.size();
    EXPECT_TRUE(ParseVersionParts(U16(version).c_str(), desc.version));
    desc.ftl_build = ftl_build;
    desc.crc32c = 1;
    std::vector<uint8_t> out(ImageSizeFor(firmware.size()));
    size_t size = MakeImage(&desc, out.data(), out.size());
    EXPECT_NE(size, 0u);
    out.resize(size);
    return out;
}

namespace {

std::string HexTitle(const std::string& title) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : title) {
        if (!out.empty()) out += ' ';
        out += kHex[(c >> 4) & 15];
        out += kHex[c & 15];
        out += " 00";
    }
    return out;
}

void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

}  // namespace

std::vector<uint8_t> ZipStored(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files) {
    std::vector<uint8_t> zip, central;
    const uint32_t kTime = 0x6000, kDate = 0x5821;  // 2024-01-01 12:00
    for (const auto& f : files) {
        uint32_t offset = static_cast<uint32_t>(zip.size());
        uint32_t crc = ImageCrc(f.second.data(), f.second.size(), 0, 0);
        uint32_t size = static_cast<uint32_t>(f.second.size());
        Put32(zip, 0x04034b50);
        Put16(zip, 20), Put16(zip, 0), Put16(zip, 0), Put16(zip, kTime), Put16(zip, kDate);
        Put32(zip, crc), Put32(zip, size), Put32(zip, size);
        Put16(zip, static_cast<uint32_t>(f.first.size())), Put16(zip, 0);
        zip.insert(zip.end(), f.first.begin(), f.first.end());
        zip.insert(zip.end(), f.second.begin(), f.second.end());
        Put32(central, 0x02014b50);
        Put16(central, 20), Put16(central, 20), Put16(central, 0), Put16(central, 0);
        Put16(central, kTime), Put16(central, kDate);
        Put32(central, crc), Put32(central, size), Put32(central, size);
        Put16(central, static_cast<uint32_t>(f.first.size())), Put16(central, 0), Put16(central, 0);
        Put16(central, 0), Put16(central, 0), Put32(central, 0x20), Put32(central, offset);
        central.insert(central.end(), f.first.begin(), f.first.end());
    }
    uint32_t cd_offset = static_cast<uint32_t>(zip.size());
    zip.insert(zip.end(), central.begin(), central.end());
    Put32(zip, 0x06054b50);
    Put16(zip, 0), Put16(zip, 0);
    Put16(zip, static_cast<uint32_t>(files.size())), Put16(zip, static_cast<uint32_t>(files.size()));
    Put32(zip, static_cast<uint32_t>(central.size())), Put32(zip, cd_offset), Put16(zip, 0);
    return zip;
}

TestPackage DefaultTestPackage() {
    TestPackage p;
    p.Set("TITLE", HexTitle("Quillon Test"));
    p.Set("SOCID", "VELQORAX");
    p.Set("ModelName", "|VELQORAX VX500 512GB|VELQORAX VX500 1TB|");
    p.Set("FWVersion", "|VX5A0100|VX5A0101|");
    p.Set("NEWVERSION", "VX5A0200");
    p.Set("iInternalFWVersionCheckPart", "3");
    p.Set("bIsSATA", "0");
    p.Set("bRemoveFtlBuildNumCheck", "0");
    p.Set("bSetVersionBeforeQuillon", "0");
    p.Set("PowerCtrl", "0");
    p.nandmap = {{"89C40832A600_1", "VX500_B17A.bin"}, {"2CC30832EA_2", "VX500_N48R.bin"}};
    std::vector<uint8_t> image = MakeTestImage(12);
    p.files = {{"VX500_B17A.bin", image}, {"VX500_N48R.bin", image}};
    return p;
}

void UpdateFixture::SetUp() {
    ASSERT_NO_FATAL_FAILURE(MakeTempDir(&tmp_, "qn_update_", true));
    HostResetAll();
    HostClearResources();
    sim::ResetMachine();
    HostObservers observers;
    observers.progress = [this](int, int position) {
        std::lock_guard<std::mutex> lock(mutex_);
        positions_.push_back(position);
    };
    HostSetObservers(observers);
}

void UpdateFixture::TearDown() {
    if (HostDialogUp()) {
        GetAppState()->hWorkerThread = nullptr;
        HostCloseDialog();
        HostJoinDialogThread();
    }
    HostSetObservers(HostObservers{});
    sim::ResetMachine();
    ASSERT_NO_FATAL_FAILURE(RemoveTempDir(tmp_));
}

void UpdateFixture::Install(const sim::MachineDesc& machine) {
    std::string error;
    ASSERT_TRUE(sim::InstallMachine(machine, &error)) << error;
}

void UpdateFixture::UsePackage(const TestPackage& package) {
    std::string ini = "[UPDATEINFO]\r\n";
    for (const auto& kv : package.keys) ini += kv.first + "=" + kv.second + "\r\n";
    ini += "\r\n[NandMap]\r\n";
    for (const auto& kv : package.nandmap) ini += kv.first + "=" + kv.second + "\r\n";
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files = package.files;
    files.insert(files.begin(), {"QuillonInfo.ini", std::vector<uint8_t>(ini.begin(), ini.end())});
    std::vector<uint8_t> zip = ZipStored(files);
    HostRegisterResource(u"FWPACKAGEZIP", kIdPackageResource, zip.data(), zip.size());
}

HWND UpdateFixture::Start(const std::string& command_line) {
    HostStartDialogThread([command_line]() { return AppMain(command_line.c_str()); });
    return HostWaitForDialog();
}

void UpdateFixture::Close() {
    ASSERT_EQ(HostCloseDialog(), kHostDone);
    INT_PTR result = -1;
    ASSERT_TRUE(HostDialogEnded(&result));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(HostJoinDialogThread(), 0);
}

void UpdateFixture::Run() {
    ClearPositions();
    results_before_ = UpdateResultCount();
    ASSERT_EQ(HostPressButton(kIdRun), kHostDone);
}

int UpdateFixture::Result() {
    EXPECT_EQ(UpdateResultCount(), results_before_ + 1) << "exactly one result per run";
    return LastUpdateResult();
}

void UpdateFixture::ExpectCleanIdle() {
    EXPECT_TRUE(HostControlEnabled(kIdRun));
    EXPECT_TRUE(HostControlEnabled(kIdDriveList));
    EXPECT_EQ(GetAppState()->hWorkerThread, nullptr);
    EXPECT_EQ(sim::OpenHandleCount(), 0);
    EXPECT_EQ(sim::OpenDeviceInfoSetCount(), 0);
    EXPECT_EQ(HostMemoryBlocks(), 0);
    EXPECT_EQ(HostLiveThreads(), 0);
    EXPECT_EQ(HostOpenHandleCount(kHostThread), 0);
    EXPECT_EQ(HostBadCloseCount(), 0);
}

std::vector<std::u16string> UpdateFixture::BoxTexts() {
    std::vector<std::u16string> out;
    for (const HostMessageBox& b : HostMessageBoxes()) out.push_back(b.text);
    return out;
}

std::vector<int> UpdateFixture::Positions() {
    std::lock_guard<std::mutex> lock(mutex_);
    return positions_;
}

void UpdateFixture::ClearPositions() {
    std::lock_guard<std::mutex> lock(mutex_);
    positions_.clear();
}

std::vector<int> UpdateFixture::DistinctPositions() {
    std::vector<int> out;
    for (int p : Positions())
        if (out.empty() || out.back() != p) out.push_back(p);
    return out;
}

std::vector<std::u16string> UpdateFixture::LogLines() {
    std::vector<std::u16string> lines;
    for (const std::u16string& l : HostDebugLines()) lines.push_back(l.size() >= 23 ? l.substr(23) : l);
    return lines;
}

bool UpdateFixture::Logged(const std::u16string& line) {
    for (const std::u16string& l : LogLines())
        if (l == line) return true;
    return false;
}

int UpdateFixture::LogIndex(const std::u16string& prefix) {
    std::vector<std::u16string> lines = LogLines();
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
    return -1;
}

std::vector<std::u16string> UpdateFixture::ListTexts() {
    std::vector<std::u16string> out;
    for (const HostComboItem& item : HostComboItems(kIdDriveList)) out.push_back(item.text);
    return out;
}
