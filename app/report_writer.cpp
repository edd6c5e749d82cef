// The report writer: UTF-8 JSON and a plain-text twin, composed in one
// committed buffer each. One table of fields drives both: each row names the
// field's JSON key and its label in the text, and says once what its value is.
#include "app/report_writer.h"

#include "app/run_options.h"
#include "core/app_state.h"
#include "core/log.h"
#include "core/write_gate.h"
#include "package/files.h"
#include "platform/os.h"
#include "platform/wtext.h"
#include "res/version.h"

namespace {

constexpr DWORD kReportCapacity = 4u << 20;
constexpr WCH kToolVersion[] = u"" QN_VERSION_TEXT;

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

// What the fields are read from.
struct Source {
    const RunRecord* r;
    const WCH* command_line;
    const AppState* state;
    const WritePlan* plan;
    const DriveSnapshot* Snap(int which) const { return which ? &r->after : &r->before; }
};

// One side's value of a field. kAbsent leaves the field out of that side.
enum CellKind { kAbsent, kNull, kText, kNumber, kBool, kWriter };
typedef void (*CellWriter)(Out* o, const Source& src, int which);
struct Cell {
    CellKind kind = kAbsent;
    const WCH* text = nullptr;
    int64_t number = 0;
    CellWriter write = nullptr;
    WCH own[300] = {};  // formatted text the cell holds itself

    void Null() { kind = kNull; }
    void Set(const WCH* value) { kind = kText, text = value; }
    void Set(int64_t value) { kind = kNumber, number = value; }
    void Flag(bool value) { kind = kBool, number = value; }
    void Write(CellWriter writer) { kind = kWriter, write = writer; }
    template <typename... Args>
    void Format(const WCH* format, Args... args) {
        FormatW(own, 300, format, args...);
        Set(own);
    }
};

// A row: a field, or the start or end of a JSON object (whose open row says
// null for the whole object). which picks the snapshot (0 before, 1 after).
enum RowKind { kField, kOpen, kClose };
typedef void (*FieldValue)(const Source& src, int which, Cell* json, Cell* text);
struct ReportRow {
    RowKind kind;
    const char* key;    // JSON key; null: only in the text
    const char* label;  // label of the text line; null: only in the JSON
    int text_order;     // where the line goes in the text
    int which;
    FieldValue value;
};

// -- values --------------------------------------------------------------

void ReportVersion(const Source&, int, Cell* j, Cell* t) {
    j->Set(int64_t{kReportVersion});
    t->Format(u"%d", kReportVersion);
}
void ToolVersion(const Source&, int, Cell* j, Cell* t) { j->Set(kToolVersion), t->Set(kToolVersion); }
void CommandLine(const Source& s, int, Cell* j, Cell* t) { j->Set(s.command_line), t->Set(s.command_line); }
void Title(const Source& s, int, Cell* j, Cell* t) { j->Set(s.state->szTitle), t->Set(s.state->szTitle); }
void NewVersion(const Source& s, int, Cell* j, Cell*) { j->Set(s.state->NEWVERSION); }

void WriteImages(Out* o, const Source& s, int) {
    Raw(o, "[");
    if (s.r->image_path[0]) {
        const WCH* name = s.r->image_path;
        for (const WCH* p = s.r->image_path; *p; ++p)
            if (*p == u'\\' || *p == u'/') name = p + 1;
        Raw(o, "{");
        Key(o, "name");
        Str(o, name);
        Raw(o, ", ");
        Key(o, "version");
        Str(o, s.r->image_version);
        Raw(o, "}");
    }
    Raw(o, "]");
}
// The JSON lists the image by its name; the text names its whole path.
void Images(const Source& s, int, Cell* j, Cell* t) { j->Write(WriteImages), t->Set(s.r->image_path); }
void ImageVersion(const Source& s, int, Cell*, Cell* t) { t->Set(s.r->image_version); }

// The drive as it was found before the run: the whole "drive" object is null
// without it, and its text lines are left out.
void DriveObject(const Source& s, int, Cell* j, Cell*) {
    if (!s.r->before.taken) j->Null();
}
void Model(const Source& s, int, Cell* j, Cell* t) {
    if (s.r->before.taken) j->Set(s.r->before.disk.szModel), t->Set(s.r->before.disk.szModel);
}
void Serial(const Source& s, int, Cell* j, Cell* t) {
    if (s.r->before.taken) j->Set(s.r->before.disk.szSerial), t->Set(s.r->before.disk.szSerial);
}
void Attachment(const Source& s, int, Cell* j, Cell* t) {
    if (!s.r->before.taken) return;
    j->Set(AttachmentName(s.r->before.disk.iCmdType));
    t->Set(AttachmentName(s.r->before.disk.iCmdType));
}
void Port(const Source& s, int, Cell* j, Cell* t) {
    if (!s.r->before.taken) return;
    j->Set(int64_t{s.r->before.disk.iPort});
    t->Format(u"%I64d", s.r->before.disk.iPort);
}
void DriveBefore(const Source& s, int, Cell* j, Cell* t) {
    if (!s.r->before.taken) return;
    j->Set(int64_t{s.r->before.disk.iDiskNumber});
    t->Format(u"%u", s.r->before.disk.iDiskNumber);
}
void DriveAfter(const Source& s, int, Cell* j, Cell* t) {
    const DriveSnapshot& after = s.r->after;
    if (after.present) j->Set(int64_t{after.disk.iDiskNumber});
    else j->Null();
    if (after.taken && after.present) t->Format(u"%u", after.disk.iDiskNumber);
}

// A snapshot: null when not taken; only "present" when the drive was missing.
// Its text lines: the revision before whenever the drive was seen before; the
// lines after only when it was found afterwards.
bool TextShowsSnapshot(const DriveSnapshot* d, int which) { return d->taken && (which == 0 || d->present); }
void SnapshotObject(const Source& s, int which, Cell* j, Cell*) {
    if (!s.Snap(which)->taken) j->Null();
}
void Present(const Source& s, int which, Cell* j, Cell*) { j->Flag(s.Snap(which)->present != 0); }
void PhysicalDrive(const Source& s, int which, Cell* j, Cell*) {
    if (s.Snap(which)->present) j->Set(int64_t{s.Snap(which)->disk.iDiskNumber});
}
void Revision(const Source& s, int which, Cell* j, Cell* t) {
    const DriveSnapshot* d = s.Snap(which);
    if (d->present) j->Set(d->disk.szFWRevision);
    if (TextShowsSnapshot(d, which)) t->Set(d->disk.szFWRevision);
}
void InternalVersion(const Source& s, int which, Cell* j, Cell*) {
    if (s.Snap(which)->present) j->Set(s.Snap(which)->disk.szDrvFWVersion);
}
void Frmw(const Source& s, int which, Cell* j, Cell*) {
    const DriveSnapshot* d = s.Snap(which);
    if (!d->present) return;
    if (d->frmw < 0) j->Null();
    else j->Set(int64_t{d->frmw});
}
void WriteSlots(Out* o, const Source& src, int which) {
    const DriveSnapshot* s = src.Snap(which);
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
void Slots(const Source& s, int which, Cell* j, Cell* t) {
    const DriveSnapshot* d = s.Snap(which);
    if (d->present) {
        if (d->slots_read) j->Write(WriteSlots);
        else j->Null();
    }
    if (TextShowsSnapshot(d, which) && d->slots_read) {
        t->Format(u"active %d, next reset %d, slot 1 %s", d->active_slot, d->next_slot, d->slot_revision[0]);
    }
}
void Missing(const Source& s, int, Cell*, Cell* t) {
    if (s.r->after.taken && !s.r->after.present) t->Set(u"the drive was not found at its port");
}

void VerdictField(const Source& s, int, Cell* j, Cell* t) {
    if (s.r->selector_failed) j->Null(), t->Set(u"(no drive selected)");
    else j->Set(VerdictName(s.r->verdict)), t->Set(VerdictName(s.r->verdict));
}
void Pending(const Source& s, int, Cell* j, Cell* t) {
    j->Set(PendingName(s.r->pending));
    if (s.r->pending != kPendingNone) t->Set(PendingName(s.r->pending));
}
void RefusedBy(const Source& s, int, Cell* j, Cell* t) {
    j->Set(s.r->refused_by);
    if (s.r->refused_by[0]) t->Set(s.r->refused_by);
}
void ResultCode(const Source& s, int, Cell* j, Cell* t) {
    if (s.r->ended) j->Set(int64_t{s.r->result});
    else j->Null();
    t->Format(s.r->ended ? u"%d" : u"(none)", s.r->result);
}
void ExitCode(const Source& s, int, Cell* j, Cell* t) {
    j->Set(int64_t{s.r->exit_code});
    t->Format(u"%d", s.r->exit_code);
}
void DryRun(const Source&, int, Cell* j, Cell*) { j->Flag(GetRunOptions()->dry_run != 0); }

void WritePlanObject(Out* o, const Source& s, int) {
    const WritePlan* plan = s.plan;
    const DiskInfo* disk = &s.r->before.disk;
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
    const bool sata = s.state->bIsSATA != 0;
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
    const AppState* state = s.state;
    Str(o, !state->AfterMessage[0] ? u"none" : state->PowerCtrl == 1 ? u"power-off" : state->PowerCtrl == 2 ? u"restart" : u"message");
    Raw(o, "}");
}
void Plan(const Source& s, int, Cell* j, Cell* t) {
    const WritePlan* plan = s.plan;
    if (!plan->image_seen) {
        j->Null();
        return;
    }
    j->Write(WritePlanObject);
    t->Format(u"%u bytes, CRC-32 %08X, %u pieces of %u bytes", plan->image_size, plan->image_crc32, plan->pieces,
              plan->piece_size);
}

void WriteStagesJson(Out* o, const Source& s, int) {
    const RunRecord* r = s.r;
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
    Raw(o, "]");
}
void WriteStagesText(Out* o, const Source& s, int) {
    WCH text[300];
    for (int i = 0; i < s.r->stage_count; ++i) {
        FormatW(text, 300, u"bar %d-%d at %I64d ms", s.r->stages[i].bar_start, s.r->stages[i].bar_end,
                static_cast<int64_t>(s.r->stages[i].at_ms));
        Raw(o, "Stage: ");
        Text(o, text);
        Raw(o, "\r\n");
    }
}
void Stages(const Source&, int, Cell* j, Cell* t) { j->Write(WriteStagesJson), t->Write(WriteStagesText); }

void LogDropped(const Source&, int, Cell* j, Cell*) { j->Set(static_cast<int64_t>(LogDroppedLines())); }

// Calls line() for each line the log kept.
template <typename LineFn>
void ForEachLogLine(LineFn line) {
    size_t units = 0;
    const WCH* kept = LogKeptText(&units);
    WCH text[1100];
    size_t n = 0;
    for (size_t i = 0; i < units; ++i) {
        if (kept[i] != u'\n') {
            if (n + 1 < sizeof text / sizeof text[0]) text[n++] = kept[i];
            continue;
        }
        text[n] = 0;
        line(text);
        n = 0;
    }
}
void WriteLogJson(Out* o, const Source&, int) {
    Raw(o, "[");
    bool first = true;
    ForEachLogLine([&](const WCH* line) {
        Raw(o, first ? "\n    " : ",\n    ");
        Str(o, line);
        first = false;
    });
    Raw(o, "]");
}
void WriteLogText(Out* o, const Source&, int) {
    Raw(o, "Log:\r\n");
    ForEachLogLine([&](const WCH* line) {
        Raw(o, "  ");
        Text(o, line);
        Raw(o, "\r\n");
    });
}
void Log(const Source&, int, Cell* j, Cell* t) { j->Write(WriteLogJson), t->Write(WriteLogText); }

// -- the table -------------------------------------------------------------

// In JSON order; text_order puts the text's lines in theirs (the drive's
// physical number after the run sits with the other lines after the run).
const ReportRow kReportRows[] = {
    {kField, "report_version", "Report version: ", 10, 0, ReportVersion},
    {kField, "tool_version", "Tool version: ", 20, 0, ToolVersion},
    {kField, "command_line", "Command line: ", 30, 0, CommandLine},
    {kOpen, "package", nullptr, 0, 0, nullptr},
    {kField, "title", "Package: ", 40, 0, Title},
    {kField, "new_version", nullptr, 0, 0, NewVersion},
    {kField, "images", "Image: ", 50, 0, Images},
    {kField, nullptr, "Image version: ", 60, 0, ImageVersion},
    {kClose, nullptr, nullptr, 0, 0, nullptr},
    {kOpen, "drive", nullptr, 0, 0, DriveObject},
    {kField, "model", "Drive: ", 70, 0, Model},
    {kField, "serial", "Serial: ", 80, 0, Serial},
    {kField, "attachment", "Attachment: ", 90, 0, Attachment},
    {kField, "port", "Port: ", 100, 0, Port},
    {kField, "physical_drive_before", "Physical drive before: ", 110, 0, DriveBefore},
    {kField, "physical_drive_after", "Physical drive after: ", 140, 1, DriveAfter},
    {kClose, nullptr, nullptr, 0, 0, nullptr},
    {kOpen, "before", nullptr, 0, 0, SnapshotObject},
    {kField, "present", nullptr, 0, 0, Present},
    {kField, "physical_drive", nullptr, 0, 0, PhysicalDrive},
    {kField, "revision", "Revision before: ", 120, 0, Revision},
    {kField, "internal_version", nullptr, 0, 0, InternalVersion},
    {kField, "frmw", nullptr, 0, 0, Frmw},
    {kField, "slots", "Slots before: ", 130, 0, Slots},
    {kClose, nullptr, nullptr, 0, 0, nullptr},
    {kOpen, "after", nullptr, 0, 1, SnapshotObject},
    {kField, "present", nullptr, 0, 1, Present},
    {kField, nullptr, "After: ", 140, 1, Missing},
    {kField, "physical_drive", nullptr, 0, 1, PhysicalDrive},
    {kField, "revision", "Revision after: ", 150, 1, Revision},
    {kField, "internal_version", nullptr, 0, 1, InternalVersion},
    {kField, "frmw", nullptr, 0, 1, Frmw},
    {kField, "slots", "Slots after: ", 160, 1, Slots},
    {kClose, nullptr, nullptr, 0, 0, nullptr},
    {kField, "verdict", "Verdict: ", 170, 0, VerdictField},
    {kField, "pending_reset", "Waiting for: ", 180, 0, Pending},
    {kField, "refused_by", "Refused by: ", 190, 0, RefusedBy},
    {kField, "result_code", "Result code: ", 200, 0, ResultCode},
    {kField, "exit_code", "Exit code: ", 210, 0, ExitCode},
    {kField, "dry_run", nullptr, 0, 0, DryRun},
    {kField, "plan", "Plan: ", 220, 0, Plan},
    {kField, "stages", "Stage: ", 230, 0, Stages},
    {kField, "log_dropped_lines", nullptr, 0, 0, LogDropped},
    {kField, "log", "Log:", 240, 0, Log},
};
constexpr int kRowCount = static_cast<int>(sizeof kReportRows / sizeof kReportRows[0]);

// -- the two writers -------------------------------------------------------

void JsonValue(Out* o, const Source& src, int which, const Cell& c) {
    switch (c.kind) {
        case kNull: Raw(o, "null"); break;
        case kText: Str(o, c.text); break;
        case kNumber: Num(o, c.number); break;
        case kBool: Raw(o, c.number ? "true" : "false"); break;
        case kWriter: c.write(o, src, which); break;
        case kAbsent: break;
    }
}

// Top-level members one to a line; members of inner objects on one line.
void Json(Out* o, const Source& src) {
    Raw(o, "{");
    int depth = 0;
    bool first = true;
    for (int i = 0; i < kRowCount; ++i) {
        const ReportRow& row = kReportRows[i];
        if (row.kind == kClose) {
            Raw(o, "}");
            depth = 0;
            first = false;
            continue;
        }
        if (row.key == nullptr) continue;
        Cell json, text;
        if (row.value) row.value(src, row.which, &json, &text);
        if (row.kind == kField && json.kind == kAbsent) continue;
        Raw(o, depth ? (first ? "" : ", ") : (first ? "\n  " : ",\n  "));
        Key(o, row.key);
        first = false;
        if (row.kind == kField) {
            JsonValue(o, src, row.which, json);
        } else if (json.kind == kNull) {
            Raw(o, "null");
            while (kReportRows[i].kind != kClose) ++i;  // the object's members are not written
        } else {
            Raw(o, "{");
            depth = 1;
            first = true;
        }
    }
    Raw(o, "\n}\n");
}

void PlainText(Out* o, const Source& src) {
    int last = 0;
    for (;;) {
        // The rows with the next text position, in table order.
        int next = -1;
        for (int i = 0; i < kRowCount; ++i) {
            const ReportRow& row = kReportRows[i];
            if (row.label && row.text_order > last && (next < 0 || row.text_order < next)) next = row.text_order;
        }
        if (next < 0) return;
        for (int i = 0; i < kRowCount; ++i) {
            const ReportRow& row = kReportRows[i];
            if (!row.label || row.text_order != next) continue;
            Cell json, text;
            row.value(src, row.which, &json, &text);
            if (text.kind == kWriter) {
                text.write(o, src, row.which);
            } else if (text.kind == kText) {
                Raw(o, row.label);
                Text(o, text.text);
                Raw(o, "\r\n");
            }
        }
        last = next;
    }
}

int WriteOne(const WCH* path, Out* o) { return WriteWholeFile(path, o->data, o->size); }

}  // namespace

int WriteRunReport(const WCH* path, const RunRecord* record, const WCH* command_line) {
    Out o = {static_cast<char*>(os::VirtualAlloc(nullptr, kReportCapacity, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)), 0,
             false};
    if (!o.data) return 0;
    const Source src = {record, command_line, GetAppState(), WriteGatePlan()};
    Json(&o, src);
    int ok = !o.full && WriteOne(path, &o);
    o.size = 0;
    o.full = false;
    PlainText(&o, src);
    WCH twin[270];
    if (FormatW(twin, 270, u"%s.txt", path) < 0) ok = 0;
    else ok = WriteOne(twin, &o) && ok;
    os::VirtualFree(o.data, 0, MEM_RELEASE);
    return ok;
}
