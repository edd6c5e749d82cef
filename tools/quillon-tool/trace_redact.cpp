// Finding the private values of a trace and replacing them consistently.
#include "tools/quillon-tool/trace_redact.h"

#include <algorithm>
#include <cstring>
#include <regex>

#include "platform/trace/sha256.h"
#include "platform/trace/trace_format.h"

namespace {

// ---- which fields hold what ------------------------------------------------------------

// Hex byte fields (docs/traces.md): the request and answer buffers, property
// buffers and the decoded command blocks.
bool IsByteField(const std::string& key) {
    static const char* const kFields[] = {tracefmt::kIn,       tracefmt::kOut,     tracefmt::kDataIn,
                                          tracefmt::kSense,    tracefmt::kTaskFile, tracefmt::kBytes,
                                          tracefmt::kCdb,      tracefmt::kCommand, tracefmt::kProtocol,
                                          tracefmt::kCurrent,  tracefmt::kPrevious};
    for (const char* f : kFields)
        if (key == f) return true;
    return false;
}

// Fields whose texts are codes, names of the format or digests: never private,
// and a digest must not be touched by a text replacement.
bool IsFixedField(const std::string& key) {
    static const char* const kFields[] = {tracefmt::kKind,      tracefmt::kCode,       tracefmt::kName,
                                          tracefmt::kGuid,      tracefmt::kClassGuid,  tracefmt::kIfaceGuid,
                                          tracefmt::kKey,       tracefmt::kFormatField, tracefmt::kWhat,
                                          tracefmt::kDirection, tracefmt::kArch,       tracefmt::kWindows,
                                          tracefmt::kToolVersion, tracefmt::kSignature, tracefmt::kSha256,
                                          tracefmt::kEvent};
    for (const char* f : kFields)
        if (key == f) return true;
    return false;
}

// ---- value forms ---------------------------------------------------------------------------

std::string Lower(std::string s) {
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    return s;
}
std::string Upper(std::string s) {
    for (char& c : s) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    return s;
}
std::string Utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

void AddSwap(Redaction* r, const std::string& from, const std::string& to, size_t value, bool in_text) {
    if (from.empty() || from == to) return;
    for (const RedactSwap& s : r->swaps)
        if (s.from == from) return;
    r->swaps.push_back({from, to, value, in_text});
}

// The value's texts in its three cases, as ASCII (texts and bytes) and as
// UTF-16 (bytes: property buffers, wide strings in answers).
void AddForms(Redaction* r, const std::string& from, const std::string& to, size_t value) {
    const std::string froms[3] = {from, Lower(from), Upper(from)};
    const std::string tos[3] = {to, Lower(to), Upper(to)};
    for (int i = 0; i < 3; ++i) {
        AddSwap(r, froms[i], tos[i], value, true);
        AddSwap(r, Utf16(froms[i]), Utf16(tos[i]), value, false);
    }
}

// "SN1XXXXXXXXXXXXX": the kind's mark and the value's number, filled to the
// original length so fixed-width fields keep their size.
std::string Placeholder(const char* mark, int number, size_t length) {
    std::string digits = std::to_string(number);
    std::string text = std::string(mark) + digits;
    if (text.size() > length) text = digits.size() <= length ? digits : std::string();
    while (text.size() < length) text.push_back('X');
    return text;
}

int CountOfKind(const Redaction* r, RedactKind kind) {
    int n = 0;
    for (const RedactedValue& v : r->values) n += v.kind == kind;
    return n;
}

// The index of an equal value of that kind (case-insensitively), or -1.
int FindValue(const Redaction* r, RedactKind kind, const std::string& value) {
    for (size_t i = 0; i < r->values.size(); ++i)
        if (r->values[i].kind == kind && Lower(r->values[i].value) == Lower(value)) return static_cast<int>(i);
    return -1;
}

int AddValue(Redaction* r, RedactKind kind, const std::string& value, const std::string& placeholder) {
    r->values.push_back({kind, value, placeholder, 0});
    return static_cast<int>(r->values.size() - 1);
}

// ---- finding serial numbers in answers -------------------------------------------------------

bool Printable(const std::string& b, size_t at, size_t n, bool need_text) {
    bool text = false;
    for (size_t i = at; i < at + n; ++i) {
        const unsigned char c = static_cast<unsigned char>(b[i]);
        if (c < 0x20 || c > 0x7E) return false;
        text = text || c != ' ';
    }
    return text || !need_text;
}

std::string Trim(const std::string& s) {
    const size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// NVMe Identify Controller data: serial (bytes 4-23), model (24-63) and
// firmware revision (64-71), space-padded ASCII.
constexpr size_t kNvmeIdentifySize = 4096;
bool LooksLikeNvmeIdentify(const std::string& b, size_t at) {
    return at + kNvmeIdentifySize <= b.size() && Printable(b, at + 4, 20, true) && Printable(b, at + 24, 40, true) &&
           Printable(b, at + 64, 8, true);
}

// ATA IDENTIFY DEVICE data: serial (words 10-19), firmware (23-26) and model
// (27-46), each pair of characters swapped; word 0 bit 15 clear.
constexpr size_t kAtaIdentifySize = 512;
constexpr size_t kAtaSerial = 20, kAtaSerialSize = 20;
bool LooksLikeAtaIdentify(const std::string& b, size_t at) {
    return at + kAtaIdentifySize <= b.size() && (static_cast<unsigned char>(b[at + 1]) & 0x80) == 0 &&
           Printable(b, at + kAtaSerial, kAtaSerialSize, true) && Printable(b, at + 46, 8, true) &&
           Printable(b, at + 54, 40, true);
}
std::string SwapPairs(std::string s) {
    for (size_t i = 0; i + 1 < s.size(); i += 2) std::swap(s[i], s[i + 1]);
    return s;
}
// Where an IDENTIFY block may sit in a buffer: alone, or at the end of a
// pass-through block.
void AtaCandidates(const std::string& b, size_t out[2], int* count) {
    *count = 0;
    if (b.size() < kAtaIdentifySize) return;
    out[(*count)++] = 0;
    if (b.size() > kAtaIdentifySize) out[(*count)++] = b.size() - kAtaIdentifySize;
}

// The checksum in word 255 (signature A5h in its low byte) covers the whole
// block: after a serial changed it must be made right again.
void FixAtaChecksum(std::string* b) {
    size_t at[2];
    int n = 0;
    AtaCandidates(*b, at, &n);
    for (int k = 0; k < n; ++k) {
        if (!LooksLikeAtaIdentify(*b, at[k]) || static_cast<unsigned char>((*b)[at[k] + 510]) != 0xA5) continue;
        unsigned sum = 0;
        for (size_t i = 0; i < 511; ++i) sum += static_cast<unsigned char>((*b)[at[k] + i]);
        (*b)[at[k] + 511] = static_cast<char>((256 - (sum & 0xFF)) & 0xFF);
    }
}

uint32_t Le32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

// ---- walking records -----------------------------------------------------------------------

const TraceRecord* Field(const TraceRecord& o, const char* key) {
    auto it = o.find(key);
    return it == o.end() ? nullptr : &*it;
}

std::string BytesOf(const TraceRecord& o, const char* key) {
    const TraceRecord* f = Field(o, key);
    std::string bytes;
    if (f == nullptr || !f->is_string() || !HexToBytes(f->get<std::string>(), &bytes)) bytes.clear();
    return bytes;
}

// Serials the record's request names by its meaning: the storage device
// descriptor's serial, a SCSI unit serial number page (VPD 80h).
void FindInRequest(Redaction* r, const TraceRecord& record) {
    const TraceRecord* meaning = Field(record, tracefmt::kMeaning);
    if (meaning == nullptr || !meaning->is_object()) return;
    const std::string what = TraceText(*meaning, tracefmt::kWhat);
    if (what == tracefmt::kWhatProperty && TraceNumber(*meaning, tracefmt::kProperty, -1) == 0 &&
        TraceNumber(*meaning, tracefmt::kQuery, -1) == 0) {
        const std::string out = BytesOf(record, tracefmt::kOut);
        if (out.size() >= 40) {
            const uint32_t at = Le32(out, 24);  // SerialNumberOffset
            if (at >= 40 && at < out.size()) NoteSerial(r, out.substr(at, out.find('\0', at) - at));
        }
    }
    if (what == tracefmt::kWhatScsi) {
        const std::string cdb = BytesOf(*meaning, tracefmt::kCdb);
        const std::string data = BytesOf(record, tracefmt::kDataIn);
        if (cdb.size() >= 3 && cdb[0] == 0x12 && (cdb[1] & 1) && static_cast<unsigned char>(cdb[2]) == 0x80 &&
            data.size() >= 4) {
            const size_t n = std::min<size_t>(static_cast<unsigned char>(data[3]), data.size() - 4);
            NoteSerial(r, data.substr(4, n));
        }
    }
}

void FindIn(Redaction* r, const TraceRecord& node, const std::string& key) {
    if (node.is_object()) {
        for (auto it = node.begin(); it != node.end(); ++it) FindIn(r, it.value(), it.key());
    } else if (node.is_array()) {
        for (const TraceRecord& e : node) FindIn(r, e, key);
    } else if (node.is_string()) {
        if (IsFixedField(key)) return;
        std::string bytes;
        if (IsByteField(key)) {
            if (HexToBytes(node.get<std::string>(), &bytes)) FindInBytes(r, bytes);
        } else {
            FindInText(r, node.get<std::string>());
        }
    }
}

int ReplaceAll(std::string* s, const RedactSwap& swap) {
    int n = 0;
    for (size_t at = s->find(swap.from); at != std::string::npos; at = s->find(swap.from, at + swap.to.size())) {
        s->replace(at, swap.from.size(), swap.to);
        ++n;
    }
    return n;
}

void Prepare(Redaction* r) {
    std::stable_sort(r->swaps.begin(), r->swaps.end(),
                     [](const RedactSwap& a, const RedactSwap& b) { return a.from.size() > b.from.size(); });
}

void RedactIn(Redaction* r, TraceRecord& node, const std::string& key) {
    if (node.is_object()) {
        if (key == tracefmt::kDataOut) {
            // Replay matches what went to the drive by length and SHA-256:
            // the digest follows the redacted bytes. Without the bytes there
            // is nothing to redact; a value in them would have come from an
            // answer, and so was replaced there too.
            std::string bytes = BytesOf(node, tracefmt::kBytes);
            if (bytes.empty() || RedactBytes(r, &bytes) == 0) return;
            node[tracefmt::kBytes] = BytesToHex(bytes);
            uint8_t digest[32];
            Sha256Of(bytes.data(), bytes.size(), digest);
            node[tracefmt::kSha256] = BytesToHex(std::string(reinterpret_cast<const char*>(digest), sizeof digest));
            return;
        }
        for (auto it = node.begin(); it != node.end(); ++it) RedactIn(r, it.value(), it.key());
    } else if (node.is_array()) {
        for (TraceRecord& e : node) RedactIn(r, e, key);
    } else if (node.is_string()) {
        if (IsFixedField(key)) return;
        std::string text = node.get<std::string>();
        if (IsByteField(key)) {
            std::string bytes;
            if (HexToBytes(text, &bytes) && RedactBytes(r, &bytes) > 0) node = BytesToHex(bytes);
        } else if (RedactText(r, &text) > 0) {
            node = text;
        }
    }
}

}  // namespace

const char* RedactKindName(RedactKind kind) {
    switch (kind) {
        case RedactKind::kSerial: return "serial number";
        case RedactKind::kVolumeGuid: return "volume GUID";
        case RedactKind::kUserName: return "user name";
    }
    return "?";
}

void NoteSerial(Redaction* r, const std::string& raw) {
    const std::string value = Trim(raw);
    // Too short or one repeated character: not telling, and replacing it
    // everywhere would spoil unrelated bytes.
    if (value.size() < 4 || value.find_first_not_of(value[0]) == std::string::npos) return;
    if (!Printable(value, 0, value.size(), true)) return;
    int index = FindValue(r, RedactKind::kSerial, value);
    if (index < 0)
        index = AddValue(r, RedactKind::kSerial, value,
                         Placeholder("SN", CountOfKind(r, RedactKind::kSerial) + 1, value.size()));
    // A value met again in another case gets that case's forms too.
    AddForms(r, value, r->values[static_cast<size_t>(index)].placeholder, static_cast<size_t>(index));
}

void FindInBytes(Redaction* r, const std::string& b) {
    for (size_t at = 0; at + kNvmeIdentifySize <= b.size(); ++at)
        if (LooksLikeNvmeIdentify(b, at)) NoteSerial(r, b.substr(at + 4, 20));
    size_t at[2];
    int n = 0;
    AtaCandidates(b, at, &n);
    for (int k = 0; k < n; ++k) {
        if (!LooksLikeAtaIdentify(b, at[k])) continue;
        const std::string field = b.substr(at[k] + kAtaSerial, kAtaSerialSize);
        const std::string text = SwapPairs(field);
        NoteSerial(r, text);
        const int index = FindValue(r, RedactKind::kSerial, Trim(text));
        if (index < 0) continue;
        // The field as the drive stores it, swapped pairs and padding included.
        std::string redacted = text;
        const RedactedValue& v = r->values[static_cast<size_t>(index)];
        const size_t pos = Lower(redacted).find(Lower(v.value));
        if (pos != std::string::npos) redacted.replace(pos, v.value.size(), v.placeholder);
        AddSwap(r, field, SwapPairs(redacted), static_cast<size_t>(index), false);
    }
    // Wide texts (device IDs and locations in property buffers).
    if (b.size() >= 2 && b.size() % 2 == 0) {
        std::string narrow;
        for (size_t i = 0; i + 1 < b.size(); i += 2)
            narrow.push_back(b[i + 1] == 0 && b[i] != 0 && static_cast<unsigned char>(b[i]) < 0x80 ? b[i] : '\n');
        FindInText(r, narrow);
    }
}

void FindInText(Redaction* r, const std::string& text) {
    if (text.size() < 4) return;
    // Bounded repeats throughout: the matcher recurses once per character a
    // repeat takes, and a hostile trace may hold a megabyte-long text.
    // The serial of a USB device is the last part of its instance ID when
    // that part has no "&" (one Windows made up has).
    static const std::regex kUsbId(
        "USB[\\\\#]VID_[0-9A-F]{4}&PID_[0-9A-F]{4}[\\\\#]([^\\\\#&{}\"\\s]{1,128})(?=$|[\\\\#{}\"\\s])",
        std::regex::icase);
    for (std::sregex_iterator it(text.begin(), text.end(), kUsbId), end; it != end; ++it) NoteSerial(r, (*it)[1].str());
    static const std::regex kVolume(
        "Volume\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}", std::regex::icase);
    for (std::sregex_iterator it(text.begin(), text.end(), kVolume), end; it != end; ++it) {
        const std::string value = it->str();
        int index = FindValue(r, RedactKind::kVolumeGuid, value);
        if (index < 0) {
            char tail[16];
            std::snprintf(tail, sizeof tail, "%012d", CountOfKind(r, RedactKind::kVolumeGuid) + 1);
            index = AddValue(r, RedactKind::kVolumeGuid, value,
                             value.substr(0, 7) + "00000000-0000-0000-0000-" + tail + "}");
        }
        AddForms(r, value, r->values[static_cast<size_t>(index)].placeholder, static_cast<size_t>(index));
    }
    // A user's folder: the name after "\Users\" (or the old "\Documents and
    // Settings\"), except the folders every machine has.
    static const std::regex kUser("([\\\\/](?:Users|Documents and Settings)[\\\\/])([^\\\\/\"<>|:*?\\r\\n]{1,128})",
                                  std::regex::icase);
    for (std::sregex_iterator it(text.begin(), text.end(), kUser), end; it != end; ++it) {
        const std::string name = (*it)[2].str();
        const std::string lower = Lower(name);
        if (lower == "public" || lower == "default" || lower == "all users" || lower == "default user") continue;
        int index = FindValue(r, RedactKind::kUserName, name);
        if (index < 0)
            index = AddValue(r, RedactKind::kUserName, name,
                             Placeholder("USER", CountOfKind(r, RedactKind::kUserName) + 1, name.size()));
        const RedactedValue& v = r->values[static_cast<size_t>(index)];
        // Only inside the path: a name alone may be an everyday word.
        AddForms(r, (*it)[1].str() + name, (*it)[1].str() + v.placeholder, static_cast<size_t>(index));
    }
}

int RedactBytes(Redaction* r, std::string* bytes) {
    int total = 0;
    for (const RedactSwap& s : r->swaps) {
        const int n = ReplaceAll(bytes, s);
        r->values[s.value].places += n;
        total += n;
    }
    if (total > 0) FixAtaChecksum(bytes);
    return total;
}

int RedactText(Redaction* r, std::string* text) {
    int total = 0;
    for (const RedactSwap& s : r->swaps) {
        if (!s.in_text) continue;
        const int n = ReplaceAll(text, s);
        r->values[s.value].places += n;
        total += n;
    }
    return total;
}

void FindPrivateValues(const std::vector<TraceRecord>& records, Redaction* r) {
    for (const TraceRecord& record : records) {
        if (TraceText(record, tracefmt::kKind) == tracefmt::kIoctl) FindInRequest(r, record);
        FindIn(r, record, std::string());
    }
    Prepare(r);
}

void ApplyRedaction(std::vector<TraceRecord>* records, Redaction* r) {
    Prepare(r);
    for (TraceRecord& record : *records) RedactIn(r, record, std::string());
}
