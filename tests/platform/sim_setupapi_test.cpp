// SetupDi* and CM_* of the simulated machine: the sets, the two-call size
// protocol and the errors Windows gives for wrong sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/sim/sim_machine.h"
#include "platform/storage_layouts.h"

namespace {

constexpr DWORD kErrorInvalidUserBuffer = 1784;
constexpr DWORD kErrorInvalidFlags = 1004;
constexpr DWORD kPresent = DIGCF_PRESENT | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE;

class SimSetupApi : public ::testing::Test {
protected:
    void SetUp() override {
        sim::MachineDesc m;
        sim::AddHostController(m, "PCI\\HC\\1", 0);
        sim::AddRootHub(m, "USB\\ROOT_HUB30\\1", 0);
        sim::DriveDesc& nvme = sim::AddNvmeDrive(m, 0, sim::Attachment::kNativeNvme);
        nvme.pci.controller_bus = 3;
        nvme.pci.link_speed = 4;
        nvme.pci.link_width = 2;
        sim::PlugUsb(sim::AddNvmeDrive(m, 1, sim::Attachment::kJmicron), "USB\\ROOT_HUB30\\1", 5, 1);
        ASSERT_TRUE(sim::InstallMachine(m));
    }
    void TearDown() override {
        EXPECT_EQ(0, sim::OpenHandleCount());
        EXPECT_EQ(0, sim::OpenDeviceInfoSetCount());
        sim::ResetMachine();
    }
    static SP_DEVINFO_DATA Element(HDEVINFO set, DWORD index) {
        SP_DEVINFO_DATA e = {};
        e.cbSize = sizeof e;
        EXPECT_TRUE(os::SetupDiEnumDeviceInfo(set, index, &e));
        return e;
    }
    static std::u16string Id(DEVINST inst) {
        WCH id[260] = {};
        EXPECT_EQ(CR_SUCCESS, os::CM_Get_Device_IDW(inst, id, 260, 0));
        return id;
    }
};

TEST_F(SimSetupApi, SetsListWhatTheirClassHas) {
    struct {
        const GUID* guid;
        DWORD count;
    } classes[] = {{&kGuidDevInterfaceDisk, 2}, {&kGuidDevInterfaceUsbDevice, 1}, {&kGuidDevInterfaceUsbHub, 1},
                   {&kGuidDevInterfaceUsbHostController, 1}};
    for (const auto& c : classes) {
        HDEVINFO set = os::SetupDiGetClassDevsW(c.guid, nullptr, nullptr, kPresent);
        DWORD n = 0;
        SP_DEVINFO_DATA e = {};
        e.cbSize = sizeof e;
        while (os::SetupDiEnumDeviceInfo(set, n, &e)) ++n;
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), os::GetLastError());
        EXPECT_EQ(c.count, n);
        SP_DEVICE_INTERFACE_DATA i = {};
        i.cbSize = sizeof i;
        EXPECT_EQ(c.count > 0, os::SetupDiEnumDeviceInterfaces(set, nullptr, c.guid, 0, &i) != FALSE);
        EXPECT_TRUE(os::SetupDiDestroyDeviceInfoList(set));
    }
    HDEVINFO all = os::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA e = Element(all, 0);
    EXPECT_NE(0u, e.DevInst);
    EXPECT_TRUE(os::SetupDiDestroyDeviceInfoList(all));
    EXPECT_FALSE(os::SetupDiDestroyDeviceInfoList(all));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), os::GetLastError());
}

TEST_F(SimSetupApi, InterfaceDetailTakesTwoCalls) {
    HDEVINFO set = os::SetupDiGetClassDevsW(&kGuidDevInterfaceDisk, nullptr, nullptr, kPresent);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    ASSERT_TRUE(os::SetupDiEnumDeviceInterfaces(set, nullptr, &kGuidDevInterfaceDisk, 0, &data));
    DWORD required = 0;
    EXPECT_FALSE(os::SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), os::GetLastError());
    ASSERT_GT(required, kInterfaceDetailFixedSize);
    std::vector<uint8_t> detail(required, 0xCC);
    DWORD cb = 6;  // the 32-bit size is wrong in this 64-bit layout
    std::memcpy(detail.data(), &cb, 4);
    EXPECT_FALSE(os::SetupDiGetDeviceInterfaceDetailW(set, &data, detail.data(), required, &required, nullptr));
    EXPECT_EQ(kErrorInvalidUserBuffer, os::GetLastError());
    cb = kInterfaceDetailFixedSize;
    std::memcpy(detail.data(), &cb, 4);
    EXPECT_FALSE(os::SetupDiGetDeviceInterfaceDetailW(set, &data, detail.data(), required - 1, &required, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), os::GetLastError());
    ASSERT_TRUE(os::SetupDiGetDeviceInterfaceDetailW(set, &data, detail.data(), required, &required, nullptr));
    std::u16string path(reinterpret_cast<const char16_t*>(detail.data() + kInterfaceDetailPathOffset));
    EXPECT_EQ(required, kInterfaceDetailPathOffset + (path.size() + 1) * 2);
    EXPECT_EQ(u"\\\\?\\", path.substr(0, 4));
    HANDLE disk = os::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 3, OPEN_EXISTING, 0);
    EXPECT_NE(INVALID_HANDLE_VALUE, disk);
    os::CloseHandle(disk);
    SP_DEVICE_INTERFACE_DATA wrong = data;
    wrong.cbSize = 8;
    EXPECT_FALSE(os::SetupDiEnumDeviceInterfaces(set, nullptr, &kGuidDevInterfaceDisk, 0, &wrong));
    EXPECT_EQ(kErrorInvalidUserBuffer, os::GetLastError());
    os::SetupDiDestroyDeviceInfoList(set);
}

TEST_F(SimSetupApi, RegistryPropertiesAndLinkProperties) {
    HDEVINFO usb = os::SetupDiGetClassDevsW(&kGuidDevInterfaceUsbDevice, nullptr, nullptr, kPresent);
    SP_DEVINFO_DATA e = Element(usb, 0);
    DWORD type = 0, required = 0;
    EXPECT_FALSE(os::SetupDiGetDeviceRegistryPropertyW(usb, &e, SPDRP_LOCATION_INFORMATION, &type, nullptr, 0, &required));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), os::GetLastError());
    EXPECT_EQ(static_cast<DWORD>(sizeof(u"Port_#0005.Hub_#0001")), required);
    WCH text[260] = {};
    ASSERT_TRUE(os::SetupDiGetDeviceRegistryPropertyW(usb, &e, SPDRP_LOCATION_INFORMATION, &type,
                                                      reinterpret_cast<BYTE*>(text), required, &required));
    EXPECT_EQ(u"Port_#0005.Hub_#0001", std::u16string(text));
    EXPECT_EQ(1u, type);  // REG_SZ
    EXPECT_FALSE(os::SetupDiGetDeviceRegistryPropertyW(usb, &e, SPDRP_BUSNUMBER, &type, nullptr, 0, &required));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), os::GetLastError());
    SP_DEVINFO_DATA bad = e;
    bad.cbSize = 4;
    EXPECT_FALSE(os::SetupDiGetDeviceRegistryPropertyW(usb, &bad, SPDRP_SERVICE, &type, nullptr, 0, &required));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), os::GetLastError());
    os::SetupDiDestroyDeviceInfoList(usb);

    // The NVMe controller: parent of the first disk.
    HDEVINFO disks = os::SetupDiGetClassDevsW(&kGuidDevInterfaceDisk, nullptr, nullptr, kPresent);
    DEVINST controller = 0;
    ASSERT_EQ(CR_SUCCESS, os::CM_Get_Parent(&controller, Element(disks, 0).DevInst, 0));
    os::SetupDiDestroyDeviceInfoList(disks);
    HDEVINFO all = os::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA c = {};
    c.cbSize = sizeof c;
    for (DWORD i = 0; os::SetupDiEnumDeviceInfo(all, i, &c) && c.DevInst != controller; ++i) {
    }
    ASSERT_EQ(controller, c.DevInst);
    uint32_t bus = 0;
    ASSERT_TRUE(os::SetupDiGetDeviceRegistryPropertyW(all, &c, SPDRP_BUSNUMBER, &type, reinterpret_cast<BYTE*>(&bus),
                                                      sizeof bus, &required));
    EXPECT_EQ(3u, bus);
    EXPECT_EQ(4u, type);  // REG_DWORD
    DEVPROPTYPE prop_type = 0;
    uint32_t value = 0;
    ASSERT_TRUE(os::SetupDiGetDevicePropertyW(all, &c, &kDevpkeyPciCurrentLinkSpeed, &prop_type,
                                              reinterpret_cast<BYTE*>(&value), sizeof value, &required, 0));
    EXPECT_EQ(4u, value);
    EXPECT_EQ(static_cast<DEVPROPTYPE>(DEVPROP_TYPE_UINT32), prop_type);
    ASSERT_TRUE(os::SetupDiGetDevicePropertyW(all, &c, &kDevpkeyPciCurrentLinkWidth, &prop_type,
                                              reinterpret_cast<BYTE*>(&value), sizeof value, &required, 0));
    EXPECT_EQ(2u, value);
    EXPECT_FALSE(os::SetupDiGetDevicePropertyW(all, &c, &kDevpkeyPciMaxLinkWidth, &prop_type,
                                               reinterpret_cast<BYTE*>(&value), 3, &required, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), os::GetLastError());
    EXPECT_FALSE(os::SetupDiGetDevicePropertyW(all, &c, &kDevpkeyPciMaxLinkWidth, &prop_type,
                                               reinterpret_cast<BYTE*>(&value), 4, &required, 1));
    EXPECT_EQ(kErrorInvalidFlags, os::GetLastError());
    os::SetupDiDestroyDeviceInfoList(all);
}

TEST_F(SimSetupApi, ConfigurationManagerWalksUpTheTree) {
    HDEVINFO usb = os::SetupDiGetClassDevsW(&kGuidDevInterfaceUsbDevice, nullptr, nullptr, kPresent);
    DEVINST bridge = Element(usb, 0).DevInst;
    os::SetupDiDestroyDeviceInfoList(usb);
    DEVINST hub = 0, controller = 0;
    ASSERT_EQ(CR_SUCCESS, os::CM_Get_Parent(&hub, bridge, 0));
    EXPECT_EQ(u"USB\\ROOT_HUB30\\1", Id(hub));
    ASSERT_EQ(CR_SUCCESS, os::CM_Get_Parent(&controller, hub, 0));
    EXPECT_EQ(u"PCI\\HC\\1", Id(controller));
    WCH small[4] = {};
    EXPECT_EQ(CR_BUFFER_SMALL, os::CM_Get_Device_IDW(controller, small, 4, 0));
    EXPECT_EQ(u'P', small[0]);
    EXPECT_NE(CR_SUCCESS, os::CM_Get_Parent(&hub, 0, 0));
    EXPECT_NE(CR_SUCCESS, os::CM_Get_Parent(&hub, bridge, 1));
}

}  // namespace
