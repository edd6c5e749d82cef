#include "storage/volumes.h"

#include "platform/os.h"
#include "platform/storage_layouts.h"
#include "platform/wtext.h"
#include "storage/device_io.h"

void AttachVolumes(DiskInfo* list, uint32_t count) {
    for (WCH letter = u'C'; letter <= u'Z'; ++letter) {
        WCH path[16];
        FormatW(path, 16, u"\\\\.\\%c:", letter);
        HANDLE volume = os::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
        if (volume == INVALID_HANDLE_VALUE) continue;
        StorageDeviceNumber number = {};
        DWORD returned = 0;
        if (DeviceIo(volume, kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number, &returned) &&
            number.DeviceType == kFileDeviceDisk) {
            for (uint32_t i = 0; i < count; ++i) {
                if (list[i].iDiskNumber != number.DeviceNumber) continue;
                list[i].bRaw = 0;
                WCH entry[8];
                FormatW(entry, 8, u"%c: ", letter);
                WAppend(list[i].szVolumes, 64, entry);
                if (letter == u'C') list[i].bSystemDisk = 1;
                break;
            }
        }
        os::CloseHandle(volume);
    }
}
