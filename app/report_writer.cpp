// The report writer: UTF-8 JSON and a plain-text twin, composed in one
// committed buffer each.
#include "app/report_writer.h"

#include "app/run_options.h"
#include "core/app_state.h"
#include "core/log.h"
#include "core/write_gate.h"
#include "package/files.h"
#include "platform/os.h"
#include "platform/wtext.h"

namespace {

constexpr DWORD kReportCapacity = 4u << 20;
constexpr WCH kToolVersion[] = u"1.0.0.0";

struct Out {
    char* data;
    DWORD size;
    bool full;
};

void Byte(Out* o, char c) {
    if (o->size + 1 >= kReportCapacity) {
        o->full = true;
        return;
    }
    o->data[o->size++] = c;
}
void Raw(Out* o, const char* text) {
    while (*text) Byte(o, *text++);
}
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
void Utf8(Out* o, const WCH* text, bool json) {
    for (; *text; ++text) {
        uint32_t c = *text;
        if (c >= 0xD800 && c <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
            ++text;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (json && (c == '"' || c == '\\')) {
            Byte(o, '\\');
            Byte(o, static_cast<char>(c));
        } else if (json && c < 0x20) {
            char esc[8];
            const char* hex = "0123456789abcdef";
            esc[0] = '\\', esc[1] = 'u', esc[2] = '0', esc[3] = '0', esc[4] = hex[c >> 4], esc[5] = hex[c & 15], esc[6] = 0;
            Raw(o, esc);
        } else if (c < 0x80) {
            Byte(o, static_cast<char>(c));
        } else if (c < 0x800) {
            Byte(o, static_cast<char>(0xC0 | (c >> 6)));
            Byte(o, static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            Byte(o, static_cast<char>(0xE0 | (c >> 12)));
            Byte(o, static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            Byte(o, static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            Byte(o, static_cast<char>(0xF0 | (c >> 18)));
            Byte(o, static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            Byte(o, static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            Byte(o, static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}
void Text(Out* o, const WCH* text) { Utf8(o, text, false); }
void Str(Out* o, const WCH* text) {
    Byte(o, '"');
    Utf8(o, text, true);
    Byte(o, '"');
}
void Num(Out* o, int64_t value) {
    WCH text[32];
    FormatW(text, 32, u"%I64d", value);
    Text(o, text);
}
void Key(Out* o, const char* key) {
    Byte(o, '"');
    Raw(o, key);
    Raw(o, "\": ");
}

const WCH* AttachmentName(int32_t cmd_type) {
    switch (cmd_type) {
        case kCmdNative: return u"native";
        case kCmdRst: return u"rst";
        case kCmdAsmedia: return u"asmedia";
        case kCmdJmicron: return u"jmicron";
        case kCmdRealtek: return u"realtek";
        case kCmdSataNative: return u"sata";
        case kCmdSataUsb: return u"sata-usb";
        case kCmdSataScsi: return u"sata-scsi";
        default: return u"unknown";
    }
}

void Snapshot(Out* o, const DriveSnapshot* s) {
    if (!s->taken) {
        Raw(o, "null");
        return;
    }
    Raw(o, "{");
    Key(o, "present");
    Raw(o, s->present ? "true" : "false");
    if (s->present) {
        Raw(o, ", ");
        Key(o, "physical_drive");
        Num(o, s->disk.iDiskNumber);
        Raw(o, ", ");
        Key(o, "revision");
        Str(o, s->disk.szFWRevision);
        Raw(o, ", ");
        Key(o, "internal_version");
        Str(o, s->disk.szDrvFWVersion);
        Raw(o, ", ");
        Key(o, "frmw");
        if (s->frmw < 0)
            Raw(o, "null");
        else
            Num(o, s->frmw);
        Raw(o, ", ");
        Key(o, "slots");
        if (!s->slots_read) {
            Raw(o, "null");
        } else {
            Raw(o, "{");
            Key(o, "active");
            Num(o, s->active_slot);
            Raw(o, ", ");
            Key(o, "next_reset");
            Num(o, s->next_slot);
            Raw(o, ", ");
            Key(o, "revisions");
            Raw(o, "[");
            int count = (s->frmw > 0) ? ((s->frmw >> 1) & 7) : 1;
            if (count < 1) count = 1;
            for (int i = 0; i < count && i < kMaxSlots; ++i) {
                if (i) Raw(o, ", ");
                Str(o, s->slot_revision[i]);
            }
            Raw(o, "]}");
        }
    }
    Raw(o, "}");
}

void Plan(Out* o, const WritePlan* plan, const DiskInfo* disk, const AppState* state) {
    if (!plan->image_seen) {
        Raw(o, "null");
        return;
    }
    Raw(o, "{");
    Key(o, "image_size");
    Num(o, plan->image_size);
    Raw(o, ", ");
    Key(o, "image_crc32");
    WCH crc[16];
    FormatW(crc, 16, u"%08X", plan->image_crc32);
    Str(o, crc);
    Raw(o, ", ");
    Key(o, "config_write_first");
    Raw(o, plan->config_write ? "true" : "false");
    Raw(o, ", ");
    Key(o, "version_write_first");
    Raw(o, plan->version_write ? "true" : "false");
    Raw(o, ", ");
    Key(o, "pieces");
    Raw(o, "[");
    for (uint32_t i = 0; i < plan->pieces; ++i) {
        uint32_t offset = i * plan->piece_size;
        uint32_t size = plan->image_size - offset < plan->piece_size ? plan->image_size - offset : plan->piece_size;
        if (i) Raw(o, ", ");
        Raw(o, "{");
        Key(o, "offset");
        Num(o, offset);
        Raw(o, ", ");
        Key(o, "size");
        Num(o, size);
        Raw(o, "}");
    }
    Raw(o, "], ");
    const bool sata = state->bIsSATA != 0;
    Key(o, "commit");
    if (sata)
        Raw(o, "null");
    else
        Raw(o, "{\"slot\": 1, \"action\": 1}");
    Raw(o, ", ");
    Key(o, "bridge_power_cycle");
    Raw(o, (!sata && (disk->iCmdType == kCmdAsmedia || disk->iCmdType == kCmdJmicron)) ? "true" : "false");
    Raw(o, ", ");
    Key(o, "after_result");
    Str(o, !state->AfterMessage[0] ? u"none" : state->PowerCtrl == 1 ? u"power-off" : state->PowerCtrl == 2 ? u"restart" : u"message");
    Raw(o, "}");
}

void Json(Out* o, const RunRecord* r, const WCH* command_line) {
    const AppState* state = GetAppState();
    const DiskInfo* disk = &r->before.disk;
    Raw(o, "{\n  ");
    Key(o, "report_version");
    Num(o, kReportVersion);
    Raw(o, ",\n  ");
    Key(o, "tool_version");
    Str(o, kToolVersion);
    Raw(o, ",\n  ");
    Key(o, "command_line");
    Str(o, command_line);
    Raw(o, ",\n  ");
    Key(o, "package");
    Raw(o, "{");
    Key(o, "title");
    Str(o, state->szTitle);
    Raw(o, ", ");
    Key(o, "new_version");
    Str(o, state->NEWVERSION);
    Raw(o, ", ");
    Key(o, "images");
    Raw(o, "[");
    if (r->image_path[0]) {
        const WCH* name = r->image_path;
        for (const WCH* p = r->image_path; *p; ++p)
            if (*p == u'\\' || *p == u'/') name = p + 1;
        Raw(o, "{");
        Key(o, "name");
        Str(o, name);
        Raw(o, ", ");
        Key(o, "version");
        Str(o, r->image_version);
        Raw(o, "}");
    }
    Raw(o, "]},\n  ");
    Key(o, "drive");
    if (!r->before.taken) {
        Raw(o, "null");
    } else {
        Raw(o, "{");
        Key(o, "model");
        Str(o, disk->szModel);
        Raw(o, ", ");
        Key(o, "serial");
        Str(o, disk->szSerial);
        Raw(o, ", ");
        Key(o, "attachment");
        Str(o, AttachmentName(disk->iCmdType));
        Raw(o, ", ");
        Key(o, "port");
        Num(o, disk->iPort);
        Raw(o, ", ");
        Key(o, "physical_drive_before");
        Num(o, disk->iDiskNumber);
        Raw(o, ", ");
        Key(o, "physical_drive_after");
        if (r->after.present)
            Num(o, r->after.disk.iDiskNumber);
        else
            Raw(o, "null");
        Raw(o, "}");
    }
    Raw(o, ",\n  ");
    Key(o, "before");
    Snapshot(o, &r->before);
    Raw(o, ",\n  ");
    Key(o, "after");
    Snapshot(o, &r->after);
    Raw(o, ",\n  ");
    Key(o, "verdict");
    if (r->selector_failed)
        Raw(o, "null");
    else
        Str(o, VerdictName(r->verdict));
    Raw(o, ",\n  ");
    Key(o, "pending_reset");
    Str(o, PendingName(r->pending));
    Raw(o, ",\n  ");
    Key(o, "refused_by");
    Str(o, r->refused_by);
    Raw(o, ",\n  ");
    Key(o, "result_code");
    if (r->ended)
        Num(o, r->result);
    else
        Raw(o, "null");
    Raw(o, ",\n  ");
    Key(o, "exit_code");
    Num(o, r->exit_code);
    Raw(o, ",\n  ");
    Key(o, "dry_run");
    Raw(o, GetRunOptions()->dry_run ? "true" : "false");
    Raw(o, ",\n  ");
    Key(o, "plan");
    Plan(o, WriteGatePlan(), disk, state);
    Raw(o, ",\n  ");
    Key(o, "stages");
    Raw(o, "[");
    for (int i = 0; i < r->stage_count; ++i) {
        const StageMark* m = &r->stages[i];
        uint64_t next = (i + 1 < r->stage_count) ? r->stages[i + 1].at_ms : m->at_ms;
        Raw(o, i ? ",\n    {" : "\n    {");
        Key(o, "bar_start");
        Num(o, m->bar_start);
        Raw(o, ", ");
        Key(o, "bar_end");
        Num(o, m->bar_end);
        Raw(o, ", ");
        Key(o, "at_ms");
        Num(o, static_cast<int64_t>(m->at_ms));
        Raw(o, ", ");
        Key(o, "duration_ms");
        Num(o, static_cast<int64_t>(next - m->at_ms));
        Raw(o, "}");
    }
    Raw(o, "],\n  ");
    Key(o, "log_dropped_lines");
    Num(o, static_cast<int64_t>(LogDroppedLines()));
    Raw(o, ",\n  ");
    Key(o, "log");
    Raw(o, "[");
    size_t units = 0;
    const WCH* kept = LogKeptText(&units);
    WCH line[1100];
    size_t n = 0;
    bool first = true;
    for (size_t i = 0; i < units; ++i) {
        if (kept[i] != u'\n') {
            if (n + 1 < sizeof line / sizeof line[0]) line[n++] = kept[i];
            continue;
        }
        line[n] = 0;
        Raw(o, first ? "\n    " : ",\n    ");
        Str(o, line);
        first = false;
        n = 0;
    }
    Raw(o, "]\n}\n");
}

void Line(Out* o, const char* label, const WCH* value) {
    Raw(o, label);
    Text(o, value);
    Raw(o, "\r\n");
}

void PlainText(Out* o, const RunRecord* r, const WCH* command_line) {
    const DiskInfo* disk = &r->before.disk;
    WCH text[300];
    FormatW(text, 300, u"%d", kReportVersion);
    Line(o, "Report version: ", text);
    Line(o, "Tool version: ", kToolVersion);
    Line(o, "Command line: ", command_line);
    Line(o, "Package: ", GetAppState()->szTitle);
    Line(o, "Image: ", r->image_path);
    Line(o, "Image version: ", r->image_version);
    if (r->before.taken) {
        Line(o, "Drive: ", disk->szModel);
        Line(o, "Serial: ", disk->szSerial);
        Line(o, "Attachment: ", AttachmentName(disk->iCmdType));
        FormatW(text, 300, u"%I64d", disk->iPort);
        Line(o, "Port: ", text);
        FormatW(text, 300, u"%u", disk->iDiskNumber);
        Line(o, "Physical drive before: ", text);
        Line(o, "Revision before: ", disk->szFWRevision);
        if (r->before.slots_read) {
            FormatW(text, 300, u"active %d, next reset %d, slot 1 %s", r->before.active_slot, r->before.next_slot,
                    r->before.slot_revision[0]);
            Line(o, "Slots before: ", text);
        }
    }
    if (r->after.taken) {
        if (r->after.present) {
            FormatW(text, 300, u"%u", r->after.disk.iDiskNumber);
            Line(o, "Physical drive after: ", text);
            Line(o, "Revision after: ", r->after.disk.szFWRevision);
            if (r->after.slots_read) {
                FormatW(text, 300, u"active %d, next reset %d, slot 1 %s", r->after.active_slot, r->after.next_slot,
                        r->after.slot_revision[0]);
                Line(o, "Slots after: ", text);
            }
        } else {
            Line(o, "After: ", u"the drive was not found at its port");
        }
    }
    Line(o, "Verdict: ", r->selector_failed ? u"(no drive selected)" : VerdictName(r->verdict));
    if (r->pending != kPendingNone) Line(o, "Waiting for: ", PendingName(r->pending));
    if (r->refused_by[0]) Line(o, "Refused by: ", r->refused_by);
    FormatW(text, 300, r->ended ? u"%d" : u"(none)", r->result);
    Line(o, "Result code: ", text);
    FormatW(text, 300, u"%d", r->exit_code);
    Line(o, "Exit code: ", text);
    const WritePlan* plan = WriteGatePlan();
    if (plan->image_seen) {
        FormatW(text, 300, u"%u bytes, CRC-32 %08X, %u pieces of %u bytes", plan->image_size, plan->image_crc32,
                plan->pieces, plan->piece_size);
        Line(o, "Plan: ", text);
    }
    for (int i = 0; i < r->stage_count; ++i) {
        FormatW(text, 300, u"bar %d-%d at %I64d ms", r->stages[i].bar_start, r->stages[i].bar_end,
                static_cast<int64_t>(r->stages[i].at_ms));
        Line(o, "Stage: ", text);
    }
    Raw(o, "Log:\r\n");
    size_t units = 0;
    const WCH* kept = LogKeptText(&units);
    WCH line[1100];
    size_t n = 0;
    for (size_t i = 0; i < units; ++i) {
        if (kept[i] != u'\n') {
            if (n + 1 < sizeof line / sizeof line[0]) line[n++] = kept[i];
            continue;
        }
        line[n] = 0;
        Line(o, "  ", line);
        n = 0;
    }
}

int WriteOne(const WCH* path, Out* o) { return WriteWholeFile(path, o->data, o->size); }

}  // namespace

int WriteRunReport(const WCH* path, const RunRecord* record, const WCH* command_line) {
    Out o = {static_cast<char*>(os::VirtualAlloc(nullptr, kReportCapacity, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)), 0,
             false};
    if (!o.data) return 0;
    Json(&o, record, command_line);
    int ok = !o.full && WriteOne(path, &o);
    o.size = 0;
    o.full = false;
    PlainText(&o, record, command_line);
    WCH twin[270];
    if (FormatW(twin, 270, u"%s.txt", path) < 0) ok = 0;
    else ok = WriteOne(twin, &o) && ok;
    os::VirtualFree(o.data, 0, MEM_RELEASE);
    return ok;
}
