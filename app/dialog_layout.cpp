// Layout of the main dialog at initialisation, in screen pixels.
#include "app/dialog_layout.h"

#include "app/dialog_ids.h"
#include "platform/os.h"

void CenterWindow(HWND window) {
    RECT r{};
    os::GetWindowRect(window, &r);
    int w = r.right - r.left;
    int h = r.bottom - r.top;
    int x;
    int y;
    HWND parent = os::GetParent(window);
    if (parent) {
        RECT p{};
        os::GetWindowRect(parent, &p);
        x = p.left + ((p.right - p.left) - w) / 2;
        y = p.top + ((p.bottom - p.top) - h) / 2;
    } else {
        x = (os::GetSystemMetrics(SM_CXSCREEN) - w) / 2;
        y = (os::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    }
    os::MoveWindow(window, x, y, w, h, TRUE);
}

void LayoutMainDialog(HWND dialog) {
    static const int kCleared[] = {kIdModel, kIdSerial, kIdInterface, kIdFirmware, kIdCapacity, kIdStatus};
    for (int id : kCleared) os::SetDlgItemTextW(dialog, id, u"");

    // The window ends one status-line height and 5 pixels below the status line.
    RECT status{};
    RECT window{};
    os::GetWindowRect(os::GetDlgItem(dialog, kIdStatus), &status);
    os::GetWindowRect(dialog, &window);
    int height = (status.bottom - window.top) + (status.bottom - status.top) + 5;
    os::MoveWindow(dialog, window.left, window.top, window.right - window.left, height, TRUE);

    RECT client{};
    os::GetClientRect(dialog, &client);
    os::MoveWindow(os::GetDlgItem(dialog, kIdProgress), 0, client.bottom - 5, client.right, 5, TRUE);

    CenterWindow(dialog);

    HICON icon = os::LoadIconImage(os::GetModuleHandleW(nullptr), kIdProgramIcon, 64, 64);
    os::SendDlgItemMessageW(dialog, kIdIcon, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
    os::SetClassIcon(dialog, icon);
}
