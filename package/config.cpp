// Reading "QuillonInfo.ini": the UPDATEINFO keys into the application state,
// and the NandMap lookup of the image that fits a drive's flash.
#include <cstring>

#include "core/app_state.h"
#include "core/log.h"
#include "package/config.h"
#include "package/files.h"
#include "platform/os.h"
#include "platform/wtext.h"

namespace {

const WCH kSection[] = u"UPDATEINFO";
const WCH kNoTitle[] = u"Package Error";

// Without a work folder there is no configuration file: an empty name would
// make Windows look for some other file, so nothing is read and every key
// takes its default.
bool HaveIni(const WCH* ini) { return ini && ini[0]; }

void ReadText(const WCH* key, WCH* out, DWORD capacity, const WCH* ini) {
    if (!HaveIni(ini)) {
        if (capacity) out[0] = 0;
        return;
    }
    os::GetPrivateProfileStringW(kSection, key, u"", out, capacity, ini);
}

int ReadInt(const WCH* key, int fallback, const WCH* ini) {
    if (!HaveIni(ini)) return fallback;
    return int(os::GetPrivateProfileIntW(kSection, key, fallback, ini));
}

// TITLE holds the title's UTF-16 code units as hexadecimal bytes, low byte
// first. An absent key reads back our default, which is shown as it stands;
// a present key is decoded whatever it holds, even our default's text (told
// apart by reading once more with an empty default).
void ReadTitle(AppState* s) {
    WCH value[260];
    if (!HaveIni(s->szIniPath)) {
        WCopy(s->szTitle, 260, kNoTitle);
        return;
    }
    os::GetPrivateProfileStringW(kSection, u"TITLE", kNoTitle, value, 260, s->szIniPath);
    if (WCompare(value, kNoTitle) == 0) {
        WCH present[260];
        os::GetPrivateProfileStringW(kSection, u"TITLE", u"", present, 260, s->szIniPath);
        if (WCompare(present, kNoTitle) != 0) {
            WCopy(s->szTitle, 260, kNoTitle);
            return;
        }
    }
    BYTE bytes[sizeof s->szTitle];
    DecodeHexBytes(value, bytes, sizeof bytes);
    for (size_t i = 0; i < 260; ++i) s->szTitle[i] = WCH(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    s->szTitle[259] = 0;
}

int LookupNand(const WCH* id, uint32_t lun, const WCH* ini, WCH* value, const WCH* log_format) {
    WCH key[64];
    FormatW(key, 64, u"%s_%d", id, int(lun));
    LogMsg(log_format, key);
    value[0] = 0;
    if (HaveIni(ini)) os::GetPrivateProfileStringW(u"NandMap", key, u"", value, 260, ini);
    return value[0] != 0;
}

}  // namespace

void ReadUpdateConfig(HWND dialog) {
    AppState* s = GetAppState();
    const WCH* ini = s->szIniPath;
    ReadTitle(s);
    os::SetWindowTextW(dialog, s->szTitle);
    ReadText(u"SOCID", s->SOCID, 64, ini);
    ReadText(u"ModelName", s->ModelName, 260, ini);
    ReadText(u"FWVersion", s->FWVersion, 260, ini);
    ReadText(u"NEWVERSION", s->NEWVERSION, 64, ini);
    s->iInternalFWVersionCheckPart = ReadInt(u"iInternalFWVersionCheckPart", 3, ini);
    s->bIsSATA = ReadInt(u"bIsSATA", 0, ini);
    s->bRemoveFtlBuildNumCheck = ReadInt(u"bRemoveFtlBuildNumCheck", 0, ini);
    s->bSetVersionBeforeQuillon = ReadInt(u"bSetVersionBeforeQuillon", 0, ini);
    ReadText(u"BeforeMessage", s->BeforeMessage, 1024, ini);
    ReplaceAll(s->BeforeMessage, 1024, u"<BR>", u"\r\n");
    ReadText(u"AfterMessage", s->AfterMessage, 1024, ini);
    ReplaceAll(s->AfterMessage, 1024, u"<BR>", u"\r\n");
    // Only the low 8 bits are kept: 257 acts as 1.
    s->PowerCtrl = uint8_t(ReadInt(u"PowerCtrl", 0, ini) & 0xFF);
}

int FindImageForNand(const DiskInfo* disk, WCH* out_path) {
    const AppState* s = GetAppState();
    WCH id[16];
    FormatW(id, 16, u"%02X%02X%02X%02X%02X%02X", disk->NandId[0], disk->NandId[1], disk->NandId[2], disk->NandId[3],
            disk->NandId[4], disk->NandId[5]);
    uint32_t lun = disk->iLunCount > 1 ? 2 : disk->iLunCount;
    WCH value[260];
    if (!LookupNand(id, lun, s->szIniPath, value, u"Item=%s")) {
        // Packages may key an image by the first five identity bytes only;
        // the retry keeps the same LUN suffix.
        id[10] = 0;
        if (!LookupNand(id, lun, s->szIniPath, value, u"Item Retry=%s")) return 0;
    }
    if (!IsPlainFileName(value)) return 0;
    WCH path[260];
    if (FormatW(path, 260, u"%s\\%s", s->szWorkDir, value) < 0) return 0;
    if (!PathExists(path)) return 0;
    WCopy(out_path, 260, path);
    return 1;
}
