// The drive list, the information lines and the selection handler.
#include "app/drive_list.h"

#include <atomic>
#include <initializer_list>

#include "app/dialog_ids.h"
#include "app/drive_source.h"
#include "app/admission.h"
#include "core/app_state.h"
#include "platform/os.h"
#include "platform/wtext.h"

namespace {

// 1 while a refresh runs, on whichever thread: the worker's end refreshes the
// list too, and two refreshes must not fill DiskList at the same time.
std::atomic<int32_t> bListRefreshBusy{0};

constexpr uint32_t kListCapacity = 26;
constexpr int kTextSize = 260;

const WCH* const kPcieLabels[] = {
    u"",
    u"PCIE Gen1 Signaling Speed (2.5 Gbps)",
    u"PCIE Gen2 Signaling Speed (5.0 Gbps)",
    u"PCIE Gen3 Signaling Speed (8.0 Gbps)",
    u"PCIE Gen4 Signaling Speed (16.0 Gbps)",
    u"PCIE Gen5 Signaling Speed (32.0 Gbps)",
};
const WCH* const kSataLabels[] = {
    u"",
    u"Serial ATA Gen1 Signaling Speed (1.5 Gbps)",
    u"Serial ATA Gen2 Signaling Speed (3.0 Gbps)",
    u"Serial ATA Gen3 Signaling Speed (6.0 Gbps)",
};

LRESULT ListMessage(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    return os::SendDlgItemMessageW(dialog, kIdDriveList, message, wparam, lparam);
}

void ClearInfoLines(HWND dialog) {
    for (int id : {kIdModel, kIdSerial, kIdInterface, kIdFirmware, kIdCapacity}) os::SetDlgItemTextW(dialog, id, u"");
}

void EnableRun(HWND dialog, BOOL enable) { os::EnableWindow(os::GetDlgItem(dialog, kIdRun), enable); }

}  // namespace

const WCH* PcieLinkLabel(int32_t speed) {
    if (speed < 0 || speed >= static_cast<int32_t>(sizeof kPcieLabels / sizeof kPcieLabels[0])) return u"";
    return kPcieLabels[speed];
}

const WCH* SataLinkLabel(int32_t speed) {
    if (speed < 0 || speed >= static_cast<int32_t>(sizeof kSataLabels / sizeof kSataLabels[0])) return u"";
    return kSataLabels[speed];
}

void FormListLabel(const DiskInfo* disk, WCH* out) {
    if (disk->bRaw == 1)
        FormatW(out, kTextSize, u"%s (RAW)", disk->szModel);
    else
        FormatW(out, kTextSize, u"%s [%s]", disk->szModel, disk->szVolumes);
}

void ShowDriveInfo(HWND dialog, const DiskInfo* disk) {
    os::SetDlgItemTextW(dialog, kIdModel, disk->szModel);
    os::SetDlgItemTextW(dialog, kIdSerial, disk->szSerial);
    os::SetDlgItemTextW(dialog, kIdFirmware, disk->szFWRevision);
    WCH text[kTextSize];
    FormatW(text, kTextSize, u"%d GB", static_cast<int>(disk->iCapacityGB));
    os::SetDlgItemTextW(dialog, kIdCapacity, text);

    // The USB port digits: the drive's own port is the last pair.
    int usb_port = static_cast<int>(static_cast<uint64_t>(disk->iPort) % 100);
    text[0] = 0;
    switch (disk->iCmdType) {
        case kCmdAsmedia: FormatW(text, kTextSize, u"ASMedia Bridge NVME to USB-%d", usb_port); break;
        case kCmdJmicron: FormatW(text, kTextSize, u"JMicron Bridge NVME to USB-%d", usb_port); break;
        case kCmdNative:
            FormatW(text, kTextSize, u"%s x %d", PcieLinkLabel(disk->iLinkSpeed), static_cast<int>(disk->iLinkWidth));
            break;
        case kCmdRst: WCopy(text, kTextSize, u"Intel Rapid Storage Technology"); break;
        case kCmdRealtek: FormatW(text, kTextSize, u"Realtek Bridge NVME to USB-%d", usb_port); break;
        case kCmdSataNative:
        case kCmdSataUsb:
        case kCmdSataScsi: WCopy(text, kTextSize, SataLinkLabel(disk->iLinkSpeed)); break;
        default: break;
    }
    os::SetDlgItemTextW(dialog, kIdInterface, text);
}

int SelectedDriveIndex(HWND dialog) {
    LRESULT entry = ListMessage(dialog, CB_GETCURSEL, 0, 0);
    if (entry == CB_ERR || entry < 0) return -1;
    LRESULT data = ListMessage(dialog, CB_GETITEMDATA, static_cast<WPARAM>(entry), 0);
    // Item data at or above iDiskCount is the "- Disconnect" entry: its slot
    // holds no drive, and acting on the zeroed record would address nothing
    // (or whatever happens to sit at port 0).
    if (data < 0 || data >= static_cast<LRESULT>(GetAppState()->iDiskCount)) return -1;
    return static_cast<int>(data);
}

void RefreshDriveList(HWND dialog, int initial) {
    int32_t idle = 0;
    if (!bListRefreshBusy.compare_exchange_strong(idle, 1)) return;
    AppState* state = GetAppState();

    WCH previous[kTextSize] = {};
    if (!initial) FormListLabel(&state->SelectedDisk, previous);

    state->iDiskCount = EnumDrives(state->DiskList, kListCapacity);
    ListMessage(dialog, CB_RESETCONTENT, 0, 0);

    int listed = 0;
    bool found = false;
    LRESULT remembered = 0;
    for (uint32_t i = 0; i < state->iDiskCount; ++i) {
        const DiskInfo* disk = &state->DiskList[i];
        if (!AdmitDrive(disk, state->ModelName, state->SOCID)) continue;
        WCH label[kTextSize];
        FormListLabel(disk, label);
        LRESULT entry = ListMessage(dialog, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label));
        ListMessage(dialog, CB_SETITEMDATA, static_cast<WPARAM>(entry), static_cast<LPARAM>(i));
        ++listed;
        if (disk->iPort == state->SelectedDisk.iPort) {
            state->SelectedDisk = *disk;
            remembered = entry;
            found = true;
        }
    }

    bool running = IsWorkerRunning() != 0;
    if (listed && !running) {
        LRESULT entry = found ? remembered : 0;
        ListMessage(dialog, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
        LRESULT data = ListMessage(dialog, CB_GETITEMDATA, static_cast<WPARAM>(entry), 0);
        if (data >= 0 && data < static_cast<LRESULT>(state->iDiskCount)) ShowDriveInfo(dialog, &state->DiskList[data]);
        if (!found) os::SetDlgItemTextW(dialog, kIdStatus, u"");
        EnableRun(dialog, TRUE);
    } else if (listed && running && found) {
        ListMessage(dialog, CB_SETCURSEL, static_cast<WPARAM>(remembered), 0);
        ShowDriveInfo(dialog, &state->SelectedDisk);
    } else if (running) {
        WCH label[kTextSize];
        FormatW(label, kTextSize, u"%s - Disconnect", previous);
        LRESULT entry = ListMessage(dialog, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label));
        ListMessage(dialog, CB_SETITEMDATA, static_cast<WPARAM>(entry), static_cast<LPARAM>(state->iDiskCount));
        ListMessage(dialog, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    } else {
        ClearInfoLines(dialog);
        os::SetDlgItemTextW(dialog, kIdStatus, u"");
        EnableRun(dialog, FALSE);
    }

    bListRefreshBusy.exchange(0);
}

void OnSelectDrive(HWND dialog) {
    AppState* state = GetAppState();
    int index = SelectedDriveIndex(dialog);
    if (index < 0) {
        // The "- Disconnect" entry: no drive behind it, so none of the lines
        // or the bar may still describe the one that went away.
        state->SelectedDisk = DiskInfo{};
        if (ListMessage(dialog, CB_GETCURSEL, 0, 0) != CB_ERR) {
            ClearInfoLines(dialog);
            os::SendDlgItemMessageW(dialog, kIdProgress, PBM_SETPOS, 0, 0);
        }
        return;
    }
    DiskInfo* disk = &state->DiskList[index];
    ReidentifyDrive(disk, 30);
    state->SelectedDisk = *disk;
    ShowDriveInfo(dialog, disk);
    os::SetDlgItemTextW(dialog, kIdStatus, u"");
    os::SendDlgItemMessageW(dialog, kIdProgress, PBM_SETPOS, 0, 0);
}
