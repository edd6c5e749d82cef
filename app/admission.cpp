// Which drives are listed at all: the package's model list and SoC filter.
#include "app/admission.h"

#include "core/log.h"
#include "core/text_search.h"
#include "platform/wtext.h"

void EncloseInBars(const WCH* value, WCH* out) { FormatW(out, kListNeedleSize, u"|%s|", value); }

int AdmitDrive(const DiskInfo* disk, const WCH* model_list, const WCH* soc_filter) {
    if (model_list[0]) {
        LogMsg(u"ModelName %s, %s", disk->szModel, model_list);
        WCH needle[kListNeedleSize];
        EncloseInBars(disk->szModel, needle);
        if (!FindNoCase(model_list, needle)) return 0;
    }
    if (WCompare(soc_filter, u"*") == 0) return 1;
    if (WCompare(soc_filter, u"VELQORAX") == 0 && disk->iSocId != 0) return 1;
    WCH id[16];
    FormatW(id, 16, u"0x%04X", static_cast<unsigned>(disk->iSocId));
    return WCompare(soc_filter, id) == 0 ? 1 : 0;
}
