// Machine descriptions in JSON (format: docs/simulator.md). Mistakes are
// reported with the line they sit on: nlohmann's parser finds syntax
// errors, and a small scanner of our own remembers the line of every value
// so that a wrong value or an unknown key can be pointed at too.
#include <cstdlib>
#include <map>

#include <nlohmann/json.hpp>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_read_file.h"
#include "platform/sim/sim_state.h"

namespace sim {

namespace {

using json = nlohmann::json;

// ---- where each value sits --------------------------------------------------------

struct LineScanner {
    const std::string& text;
    size_t pos = 0;
    int line = 1;
    std::map<std::string, int> lines;  // "/drives/0/model" → line

    void Skip() {
        while (pos < text.size()) {
            char c = text[pos];
            if (c == '\n') {
                ++line;
                ++pos;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++pos;
            } else if (c == '/' && pos + 1 < text.size() && text[pos + 1] == '/') {
                while (pos < text.size() && text[pos] != '\n') ++pos;
            } else if (c == '/' && pos + 1 < text.size() && text[pos + 1] == '*') {
                pos += 2;
                while (pos + 1 < text.size() && !(text[pos] == '*' && text[pos + 1] == '/')) {
                    if (text[pos] == '\n') ++line;
                    ++pos;
                }
                pos += 2;
            } else {
                break;
            }
        }
    }
    std::string String() {
        std::string out;
        ++pos;  // opening quote
        while (pos < text.size() && text[pos] != '"') {
            if (text[pos] == '\\') ++pos;
            if (pos < text.size()) out.push_back(text[pos++]);
        }
        ++pos;
        return out;
    }
    void Value(const std::string& path) {
        Skip();
        if (pos >= text.size()) return;
        lines[path] = line;
        char c = text[pos];
        if (c == '{') {
            ++pos;
            for (;;) {
                Skip();
                if (pos >= text.size() || text[pos] == '}') break;
                if (text[pos] == ',') {
                    ++pos;
                    continue;
                }
                int key_line = line;
                std::string key = String();
                Skip();
                ++pos;  // ':'
                Value(path + "/" + key);
                lines[path + "/" + key + "#key"] = key_line;
            }
            ++pos;
        } else if (c == '[') {
            ++pos;
            for (int index = 0;; ++index) {
                Skip();
                if (pos >= text.size() || text[pos] == ']') break;
                Value(path + "/" + std::to_string(index));
                Skip();
                if (pos < text.size() && text[pos] == ',') ++pos;
            }
            ++pos;
        } else if (c == '"') {
            String();
        } else {
            while (pos < text.size() && std::string(",]} \t\r\n/").find(text[pos]) == std::string::npos) ++pos;
        }
    }
};

// Syntax errors: the SAX parser tells where; no exception leaves it.
struct Sax : nlohmann::detail::json_sax_dom_parser<json> {
    explicit Sax(json& root) : json_sax_dom_parser(root, false) {}
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& ex) {
        where = position;
        std::string text = ex.what();
        size_t colon = text.find(": ", text.find("column"));
        message = colon == std::string::npos ? text : text.substr(colon + 2);
        failed = true;
        return false;
    }
    size_t where = 0;
    std::string message;
    bool failed = false;
};

// ---- reading values -------------------------------------------------------------------

struct Reader {
    std::string name;
    std::map<std::string, int> lines;
    std::string error;

    int LineOf(std::string path) {
        for (;;) {
            auto it = lines.find(path);
            if (it != lines.end()) return it->second;
            size_t slash = path.rfind('/');
            if (slash == std::string::npos || path.empty()) return 1;
            path = path.substr(0, slash);
        }
    }
    bool Fail(const std::string& path, const std::string& message) {
        if (error.empty()) error = name + ":" + std::to_string(LineOf(path)) + ": " + message;
        return false;
    }

    // Every key of an object must be one we know: a misspelt key would
    // otherwise be silently ignored.
    bool Keys(const json& object, const std::string& path, std::initializer_list<const char*> known) {
        if (!object.is_object()) return Fail(path, "expected an object {...}");
        for (auto it = object.begin(); it != object.end(); ++it) {
            bool ok = false;
            for (const char* k : known) ok = ok || it.key() == k;
            if (!ok) {
                std::string list;
                for (const char* k : known) list += std::string(list.empty() ? "" : ", ") + k;
                auto key_line = lines.find(path + "/" + it.key() + "#key");
                if (key_line != lines.end()) lines[path + "/" + it.key()] = key_line->second;
                return Fail(path + "/" + it.key(), "unknown key \"" + it.key() + "\" (known here: " + list + ")");
            }
        }
        return true;
    }

    bool Text(const json& o, const std::string& path, const char* key, std::string* out) {
        if (!o.contains(key)) return true;
        const json& v = o[key];
        if (!v.is_string()) return Fail(path + "/" + key, std::string("\"") + key + "\" must be a text in quotes");
        *out = v.get<std::string>();
        return true;
    }
    bool Flag(const json& o, const std::string& path, const char* key, bool* out) {
        if (!o.contains(key)) return true;
        const json& v = o[key];
        if (!v.is_boolean()) return Fail(path + "/" + key, std::string("\"") + key + "\" must be true or false");
        *out = v.get<bool>();
        return true;
    }
    // A whole number, written as a number or as a "0x..." text; within [low, high].
    bool Integer(const json& o, const std::string& path, const char* key, int64_t low, int64_t high, int64_t* out) {
        if (!o.contains(key)) return true;
        const json& v = o[key];
        std::string where = path + "/" + key;
        int64_t value = 0;
        if (v.is_number_integer()) {
            if (v.is_number_unsigned() && v.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX))
                return Fail(where, std::string("\"") + key + "\" is too large");
            value = v.get<int64_t>();
        } else if (v.is_string()) {
            std::string t = v.get<std::string>();
            if (t.size() < 3 || t.size() > 18 || t[0] != '0' || (t[1] != 'x' && t[1] != 'X'))
                return Fail(where, std::string("\"") + key + "\" must be a whole number or a text \"0x...\"");
            for (size_t i = 2; i < t.size(); ++i) {
                char c = t[i];
                int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                          : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
                if (digit < 0) return Fail(where, std::string("\"") + key + "\": \"" + t + "\" is not hexadecimal");
                value = value * 16 + digit;
            }
        } else {
            return Fail(where, std::string("\"") + key + "\" must be a whole number");
        }
        if (value < low || value > high)
            return Fail(where, std::string("\"") + key + "\" is " + std::to_string(value) + ", outside " +
                                   std::to_string(low) + " to " + std::to_string(high));
        *out = value;
        return true;
    }
    template <typename T>
    bool Int(const json& o, const std::string& path, const char* key, int64_t low, int64_t high, T* out) {
        int64_t value = static_cast<int64_t>(*out);
        if (!Integer(o, path, key, low, high, &value)) return false;
        *out = static_cast<T>(value);
        return true;
    }
    bool Number(const json& o, const std::string& path, const char* key, double* out) {
        if (!o.contains(key)) return true;
        const json& v = o[key];
        if (!v.is_number() || v.get<double>() < 0)
            return Fail(path + "/" + key, std::string("\"") + key + "\" must be a number of seconds, 0 or more");
        *out = v.get<double>();
        return true;
    }
    bool Hex(const json& o, const std::string& path, const char* key, size_t size, std::vector<uint8_t>* out) {
        if (!o.contains(key)) return true;
        const json& v = o[key];
        std::string where = path + "/" + key;
        if (!v.is_string()) return Fail(where, std::string("\"") + key + "\" must be a text of hexadecimal digits");
        std::string t;
        for (char c : v.get<std::string>())
            if (c != ' ') t.push_back(c);
        if (t.size() != size * 2)
            return Fail(where, std::string("\"") + key + "\" must hold " + std::to_string(size) + " bytes (" +
                                   std::to_string(size * 2) + " hexadecimal digits), not " + std::to_string(t.size()) + " digits");
        out->assign(size, 0);
        for (size_t i = 0; i < t.size(); ++i) {
            char c = t[i];
            int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                      : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (digit < 0) return Fail(where, std::string("\"") + key + "\" holds a character that is not hexadecimal");
            (*out)[i / 2] = static_cast<uint8_t>(((*out)[i / 2] << 4) | digit);
        }
        return true;
    }
    template <typename E>
    bool Choice(const json& o, const std::string& path, const char* key, std::initializer_list<std::pair<const char*, E>> choices,
                E* out) {
        if (!o.contains(key)) return true;
        const json& v = o[key];
        std::string list;
        for (const auto& c : choices) list += std::string(list.empty() ? "" : ", ") + c.first;
        if (v.is_string())
            for (const auto& c : choices)
                if (v.get<std::string>() == c.first) {
                    *out = c.second;
                    return true;
                }
        return Fail(path + "/" + key, std::string("\"") + key + "\" must be one of " + list);
    }
};

bool ReadReturn(Reader& r, const json& o, const std::string& path, ReturnDesc* out) {
    if (!r.Keys(o, path, {"gone_seconds", "returns", "returns_as", "moves_to"})) return false;
    out->leaves = true;
    if (!r.Number(o, path, "gone_seconds", &out->gone_seconds) || !r.Flag(o, path, "returns", &out->returns) ||
        !r.Int(o, path, "returns_as", 0, 255, &out->return_number))
        return false;
    if (o.contains("moves_to")) {
        const json& m = o["moves_to"];
        std::string mp = path + "/moves_to";
        out->moves = true;
        if (!r.Keys(m, mp, {"usb_location", "controller_bus", "path_id"}) ||
            !r.Text(m, mp, "usb_location", &out->moved_usb_location) ||
            !r.Int(m, mp, "controller_bus", 0, 255, &out->moved_controller_bus) ||
            !r.Int(m, mp, "path_id", 0, 255, &out->moved_path_id))
            return false;
    }
    return true;
}

bool ReadVendor(Reader& r, const json& o, const std::string& path, VendorDesc* v) {
    if (!r.Keys(o, path, {"family", "command_set", "drive_info", "soc_id", "nand_id", "internal_version", "ftl_build",
                          "geometry", "mp_marker", "mp_soc_id", "mp_version", "config_version", "config_block",
                          "mp_block"}))
        return false;
    std::vector<uint8_t> nand;
    if (!r.Flag(o, path, "family", &v->family) || !r.Int(o, path, "command_set", 0, 1, &v->command_set) ||
        !r.Choice<DrvInfoSource>(o, path, "drive_info",
                                 {{"log_page", DrvInfoSource::kLogPage},
                                  {"vendor_command", DrvInfoSource::kVendorCommand},
                                  {"none", DrvInfoSource::kNone}},
                                 &v->drvinfo) ||
        !r.Int(o, path, "soc_id", 0, 0xFFFF, &v->soc_id) || !r.Hex(o, path, "nand_id", 6, &nand) ||
        !r.Text(o, path, "internal_version", &v->internal_version) ||
        !r.Int(o, path, "ftl_build", 0, 0xFFFFFFFFll, &v->ftl_build) ||
        !r.Int(o, path, "mp_marker", 0, 0xFFFF, &v->mp_marker) || !r.Int(o, path, "mp_soc_id", 0, 0xFFFF, &v->mp_soc_id) ||
        !r.Text(o, path, "mp_version", &v->mp_version) || !r.Text(o, path, "config_version", &v->config_version) ||
        !r.Hex(o, path, "config_block", 4096, &v->config_block) || !r.Hex(o, path, "mp_block", 4096, &v->mp_block))
        return false;
    if (nand.size() == 6)
        for (int i = 0; i < 6; ++i) v->nand_id[i] = nand[i];
    if (v->internal_version.size() > 8)
        return r.Fail(path + "/internal_version", "\"internal_version\" has room for 8 characters");
    if (v->mp_version.size() > 10) return r.Fail(path + "/mp_version", "\"mp_version\" has room for 10 characters");
    if (v->config_version.size() > 8) return r.Fail(path + "/config_version", "\"config_version\" has room for 8 characters");
    if (o.contains("geometry")) {
        const json& g = o["geometry"];
        std::string gp = path + "/geometry";
        if (!r.Keys(g, gp, {"pages_per_block", "channels", "chip_enables", "luns", "planes"}) ||
            !r.Int(g, gp, "pages_per_block", 0, 0xFFFF, &v->pages_per_block) ||
            !r.Int(g, gp, "channels", 0, 255, &v->channels) || !r.Int(g, gp, "chip_enables", 0, 255, &v->chip_enables) ||
            !r.Int(g, gp, "luns", 0, 255, &v->luns) || !r.Int(g, gp, "planes", 0, 255, &v->planes))
            return false;
    }
    return true;
}

bool ReadSlots(Reader& r, const json& o, const std::string& path, FirmwareSlotsDesc* slots) {
    if (!r.Keys(o, path, {"count", "active", "revisions"}) || !r.Int(o, path, "count", 1, 7, &slots->count) ||
        !r.Int(o, path, "active", 1, 7, &slots->active))
        return false;
    if (slots->active > slots->count) return r.Fail(path + "/active", "\"active\" names a slot beyond \"count\"");
    if (o.contains("revisions")) {
        const json& list = o["revisions"];
        if (!list.is_array() || list.size() > static_cast<size_t>(slots->count))
            return r.Fail(path + "/revisions", "\"revisions\" must be a list of at most \"count\" texts");
        for (const json& revision : list) {
            if (!revision.is_string() || revision.get<std::string>().size() > 8)
                return r.Fail(path + "/revisions", "each revision is a text of at most 8 characters");
            slots->revisions.push_back(revision.get<std::string>());
        }
    }
    return true;
}

bool ReadDrive(Reader& r, const json& o, const std::string& path, DriveDesc* d) {
    if (!r.Keys(o, path, {"name", "number", "kind", "attachment", "bus_type", "present", "model", "serial", "firmware",
                          "blocks", "sector_size", "pci_vendor", "pci_subsystem_vendor", "sata_link_gen", "inquiry",
                          "activation_applies", "vendor", "parent_service", "disk_id", "usb", "pci", "scsi", "on_activate",
                          "on_power_cycle", "firmware_slots", "leave_after", "ata_status", "leaves_on_commit"}))
        return false;
    if (!o.contains("number")) return r.Fail(path, "a drive needs its physical drive \"number\"");
    if (!o.contains("attachment")) return r.Fail(path, "a drive needs an \"attachment\"");
    Attachment attachment = Attachment::kNativeNvme;
    if (!r.Choice<Attachment>(o, path, "attachment",
                              {{"native", Attachment::kNativeNvme},
                               {"rst", Attachment::kRst},
                               {"asmedia", Attachment::kAsmedia},
                               {"jmicron", Attachment::kJmicron},
                               {"realtek", Attachment::kRealtek},
                               {"sata_port", Attachment::kSataPort},
                               {"usb_sata", Attachment::kUsbSata},
                               {"scsi_adapter", Attachment::kScsiAdapter}},
                              &attachment))
        return false;
    DriveKind kind = (attachment == Attachment::kSataPort || attachment == Attachment::kUsbSata ||
                      attachment == Attachment::kScsiAdapter)
                         ? DriveKind::kSata
                         : DriveKind::kNvme;
    if (!r.Choice<DriveKind>(o, path, "kind", {{"nvme", DriveKind::kNvme}, {"sata", DriveKind::kSata}}, &kind)) return false;
    int number = 0;
    if (!r.Int(o, path, "number", 0, 255, &number)) return false;
    // Start from the builder's defaults for the attachment, on a scratch machine.
    MachineDesc scratch;
    *d = kind == DriveKind::kNvme ? AddNvmeDrive(scratch, number, attachment) : AddSataDrive(scratch, number, attachment);
    d->usb = UsbPlacement();
    std::string vendor_text;
    if (!r.Text(o, path, "name", &d->name) || !r.Int(o, path, "bus_type", 0, 255, &d->bus_type) ||
        !r.Flag(o, path, "present", &d->present) || !r.Text(o, path, "model", &d->model) ||
        !r.Text(o, path, "serial", &d->serial) || !r.Text(o, path, "firmware", &d->firmware) ||
        !r.Int(o, path, "blocks", 0, INT64_MAX, &d->blocks) || !r.Int(o, path, "sector_size", 1, 1 << 16, &d->sector_size) ||
        !r.Int(o, path, "pci_vendor", 0, 0xFFFF, &d->pci_vendor) ||
        !r.Int(o, path, "pci_subsystem_vendor", 0, 0xFFFF, &d->pci_subsystem_vendor) ||
        !r.Int(o, path, "sata_link_gen", 0, 7, &d->sata_link_gen) ||
        !r.Flag(o, path, "activation_applies", &d->activation_applies) ||
        !r.Text(o, path, "parent_service", &d->parent_service) || !r.Text(o, path, "disk_id", &d->disk_id))
        return false;
    if (d->model.size() > 40) return r.Fail(path + "/model", "\"model\" has room for 40 characters");
    if (d->serial.size() > 20) return r.Fail(path + "/serial", "\"serial\" has room for 20 characters");
    if (d->firmware.size() > 8) return r.Fail(path + "/firmware", "\"firmware\" has room for 8 characters");
    if (o.contains("inquiry")) {
        const json& q = o["inquiry"];
        std::string qp = path + "/inquiry";
        if (!r.Keys(q, qp, {"vendor", "product", "tag"}) || !r.Text(q, qp, "vendor", &d->inquiry_vendor) ||
            !r.Text(q, qp, "product", &d->inquiry_product) || !r.Int(q, qp, "tag", -1, 0xFFFF, &d->inquiry_tag))
            return false;
    }
    if (o.contains("vendor") && !ReadVendor(r, o["vendor"], path + "/vendor", &d->vendor)) return false;
    if (o.contains("usb")) {
        const json& u = o["usb"];
        std::string up = path + "/usb";
        if (!r.Keys(u, up, {"device_id", "hub", "location", "service"}) || !r.Text(u, up, "device_id", &d->usb.device_id) ||
            !r.Text(u, up, "hub", &d->usb.hub_id) || !r.Text(u, up, "location", &d->usb.location) ||
            !r.Text(u, up, "service", &d->usb.service))
            return false;
    }
    const bool usb = attachment == Attachment::kAsmedia || attachment == Attachment::kJmicron ||
                     attachment == Attachment::kRealtek || attachment == Attachment::kUsbSata;
    if (usb && d->usb.hub_id.empty()) return r.Fail(path, "a USB drive needs \"usb\": {\"hub\": ...} naming the hub it is plugged into");
    if (o.contains("pci")) {
        const json& p = o["pci"];
        std::string pp = path + "/pci";
        if (!r.Keys(p, pp, {"controller_id", "bridge_id", "controller_bus", "bridge_bus", "link"}) ||
            !r.Text(p, pp, "controller_id", &d->pci.controller_id) || !r.Text(p, pp, "bridge_id", &d->pci.bridge_id) ||
            !r.Int(p, pp, "controller_bus", -1, 255, &d->pci.controller_bus) ||
            !r.Int(p, pp, "bridge_bus", -1, 255, &d->pci.bridge_bus))
            return false;
        if (p.contains("link")) {
            const json& l = p["link"];
            std::string lp = pp + "/link";
            if (l.is_boolean()) {
                d->pci.has_link = l.get<bool>();
            } else if (!r.Keys(l, lp, {"speed", "width", "max_speed", "max_width"}) ||
                       !r.Int(l, lp, "speed", 0, 64, &d->pci.link_speed) || !r.Int(l, lp, "width", 0, 64, &d->pci.link_width) ||
                       !r.Int(l, lp, "max_speed", 0, 64, &d->pci.max_link_speed) ||
                       !r.Int(l, lp, "max_width", 0, 64, &d->pci.max_link_width)) {
                return false;
            }
        }
    }
    if (o.contains("scsi")) {
        const json& s = o["scsi"];
        std::string sp = path + "/scsi";
        if (!r.Keys(s, sp, {"port", "path", "target", "lun"}) || !r.Int(s, sp, "port", 0, 255, &d->scsi.port) ||
            !r.Int(s, sp, "path", 0, 255, &d->scsi.path) || !r.Int(s, sp, "target", 0, 255, &d->scsi.target) ||
            !r.Int(s, sp, "lun", 0, 255, &d->scsi.lun))
            return false;
    }
    if (o.contains("firmware_slots") && !ReadSlots(r, o["firmware_slots"], path + "/firmware_slots", &d->firmware_slots))
        return false;
    // A description of what happens replaces the builder's default wholesale.
    if (o.contains("on_activate")) {
        d->on_activate = ReturnDesc();
        if (!ReadReturn(r, o["on_activate"], path + "/on_activate", &d->on_activate)) return false;
    }
    if (o.contains("leave_after")) {
        const json& a = o["leave_after"];
        std::string ap = path + "/leave_after";
        LeaveAfterDesc& after = d->leave_after;
        if (!r.Keys(a, ap, {"requests", "seconds", "gone_seconds", "returns", "returns_as", "moves_to"}) ||
            !r.Int(a, ap, "requests", 1, 1000000000, &after.requests) || !r.Number(a, ap, "seconds", &after.seconds))
            return false;
        if ((after.requests > 0) == (after.seconds > 0))
            return r.Fail(ap, "\"leave_after\" needs one of \"requests\" (from 1) or \"seconds\" (above 0)");
        json how = json::object();
        for (const char* key : {"gone_seconds", "returns", "returns_as", "moves_to"})
            if (a.contains(key)) how[key] = a[key];
        // Left out, it stays away.
        if (!a.contains("gone_seconds") && !a.contains("returns")) how["returns"] = false;
        if (!ReadReturn(r, how, ap, &after.how)) return false;
    }
    if (o.contains("ata_status") && !r.Int(o, path, "ata_status", 0, 255, &d->ata_status)) return false;
    if (!r.Flag(o, path, "leaves_on_commit", &d->sata_leaves_on_commit)) return false;
    if (d->sata_leaves_on_commit && (d->kind != DriveKind::kSata || !d->on_activate.leaves))
        return r.Fail(path + "/leaves_on_commit", "\"leaves_on_commit\" needs a SATA drive with \"on_activate\"");
    if (o.contains("on_power_cycle")) {
        d->on_power_cycle = ReturnDesc();
        if (!ReadReturn(r, o["on_power_cycle"], path + "/on_power_cycle", &d->on_power_cycle)) return false;
    }
    return true;
}

bool ReadFault(Reader& r, const json& o, const std::string& path, FaultDesc* f) {
    if (!r.Keys(o, path, {"drive", "ioctl", "cdb", "nvme", "ata", "nth", "every", "fail", "error", "sense", "ata_error",
                          "cdb_prefix", "phase", "sub", "count_from", "garble", "seed"}))
        return false;
    if (!r.Text(o, path, "drive", &f->drive)) return false;
    if (f->drive.empty()) return r.Fail(path, "a fault needs the \"drive\" it applies to");
    int kinds = 0;
    const std::pair<const char*, FaultMatch> matches[] = {
        {"ioctl", FaultMatch::kIoctl}, {"cdb", FaultMatch::kCdb}, {"nvme", FaultMatch::kNvme}, {"ata", FaultMatch::kAta}};
    for (const auto& m : matches) {
        if (!o.contains(m.first)) continue;
        ++kinds;
        f->match = m.second;
        int64_t high = m.second == FaultMatch::kIoctl ? 0xFFFFFFFFll : 0xFF;
        if (!r.Int(o, path, m.first, 0, high, &f->code)) return false;
    }
    // A CDB prefix or a tunnel phase names SCSI requests by themselves.
    if (o.contains("cdb_prefix")) {
        std::string text;
        if (!r.Text(o, path, "cdb_prefix", &text)) return false;
        for (size_t i = 0; i < text.size();) {
            if (text[i] == ' ') {
                ++i;
                continue;
            }
            char* end = nullptr;
            std::string two = text.substr(i, 2);
            unsigned long v = strtoul(two.c_str(), &end, 16);
            if (two.size() != 2 || *end) return r.Fail(path + "/cdb_prefix", "\"cdb_prefix\" must be hexadecimal bytes (\"E6 00\")");
            f->cdb_prefix.push_back(static_cast<uint8_t>(v));
            i += 2;
        }
        if (f->cdb_prefix.empty() || f->cdb_prefix.size() > 16)
            return r.Fail(path + "/cdb_prefix", "\"cdb_prefix\" must hold 1 to 16 bytes");
    }
    if (!r.Int(o, path, "phase", 1, 3, &f->phase) || !r.Int(o, path, "sub", 0, 0xFFFFFFFFll, &f->sub) ||
        !r.Int(o, path, "seed", 0, 0xFFFFFFFFll, &f->seed) ||
        !r.Choice<GarbleMode>(o, path, "garble",
                              {{"flip", GarbleMode::kFlipBits},
                               {"zero", GarbleMode::kZeroBlock},
                               {"signature", GarbleMode::kWrongSignature}},
                              &f->garble))
        return false;
    if (o.contains("count_from")) {
        int from = 0;
        if (!r.Choice<int>(o, path, "count_from", {{"start", 0}, {"operation", 1}}, &from)) return false;
        f->from_operation = from == 1;
    }
    if ((o.contains("cdb_prefix") || o.contains("phase")) && kinds == 0) {
        ++kinds;
        f->match = FaultMatch::kCdb;
        if (!f->cdb_prefix.empty()) f->code = f->cdb_prefix[0];
    }
    if ((o.contains("cdb_prefix") || o.contains("phase")) && f->match != FaultMatch::kCdb)
        return r.Fail(path, "\"cdb_prefix\" and \"phase\" go with SCSI requests (\"cdb\")");
    if (o.contains("sub") && f->match != FaultMatch::kNvme) return r.Fail(path, "\"sub\" goes with \"nvme\"");
    if (kinds != 1) return r.Fail(path, "a fault needs exactly one of \"ioctl\", \"cdb\", \"nvme\", \"ata\"");
    if (!r.Int(o, path, "nth", 1, 1000000, &f->nth) || !r.Flag(o, path, "every", &f->every) ||
        !r.Choice<FaultAction>(o, path, "fail",
                               {{"win32", FaultAction::kWin32Error},
                                {"check_condition", FaultAction::kCheckCondition},
                                {"ata_error", FaultAction::kAtaError},
                                {"garble", FaultAction::kGarble},
                                {"vanish", FaultAction::kVanish}},
                               &f->action) ||
        !r.Int(o, path, "error", 1, 0xFFFFFFFFll, &f->win32_error) || !r.Int(o, path, "ata_error", 0, 255, &f->ata_error))
        return false;
    if (o.contains("sense")) {
        const json& s = o["sense"];
        if (!s.is_array() || s.size() != 3)
            return r.Fail(path + "/sense", "\"sense\" must be [sense key, ASC, ASCQ]");
        int64_t parts[3];
        for (int i = 0; i < 3; ++i) {
            json holder = {{"v", s[i]}};
            if (!r.Integer(holder, path + "/sense/" + std::to_string(i), "v", 0, 255, &parts[i])) return false;
        }
        f->sense_key = static_cast<uint8_t>(parts[0]);
        f->asc = static_cast<uint8_t>(parts[1]);
        f->ascq = static_cast<uint8_t>(parts[2]);
    }
    return true;
}

bool ReadMachine(Reader& r, const json& root, MachineDesc* m) {
    if (!r.Keys(root, "", {"comment", "host_controllers", "hubs", "drives", "volumes", "faults"})) return false;
    auto list = [&](const char* key) -> const json* {
        if (!root.contains(key)) return nullptr;
        if (!root[key].is_array()) {
            r.Fail(std::string("/") + key, std::string("\"") + key + "\" must be a list [...]");
            return nullptr;
        }
        return &root[key];
    };
    if (const json* hcs = list("host_controllers")) {
        for (size_t i = 0; i < hcs->size(); ++i) {
            std::string p = "/host_controllers/" + std::to_string(i);
            HostControllerDesc hc;
            if (!r.Keys((*hcs)[i], p, {"id", "bus"}) || !r.Text((*hcs)[i], p, "id", &hc.id) ||
                !r.Int((*hcs)[i], p, "bus", 0, 255, &hc.bus))
                return false;
            if (hc.id.empty()) return r.Fail(p, "a host controller needs its device instance \"id\"");
            m->host_controllers.push_back(hc);
        }
    }
    if (const json* hubs = list("hubs")) {
        for (size_t i = 0; i < hubs->size(); ++i) {
            std::string p = "/hubs/" + std::to_string(i);
            HubDesc hub;
            const json& h = (*hubs)[i];
            if (!r.Keys(h, p, {"id", "parent", "location", "listed"}) || !r.Text(h, p, "id", &hub.id) ||
                !r.Text(h, p, "parent", &hub.parent_id) || !r.Text(h, p, "location", &hub.location) ||
                !r.Flag(h, p, "listed", &hub.listed))
                return false;
            if (hub.id.empty() || hub.parent_id.empty()) return r.Fail(p, "a hub needs its \"id\" and its \"parent\"");
            m->hubs.push_back(hub);
        }
    }
    if (const json* drives = list("drives")) {
        for (size_t i = 0; i < drives->size(); ++i) {
            DriveDesc d;
            if (!ReadDrive(r, (*drives)[i], "/drives/" + std::to_string(i), &d)) return false;
            m->drives.push_back(d);
        }
    }
    if (const json* volumes = list("volumes")) {
        for (size_t i = 0; i < volumes->size(); ++i) {
            std::string p = "/volumes/" + std::to_string(i);
            const json& v = (*volumes)[i];
            VolumeDesc volume;
            std::string letter;
            if (!r.Keys(v, p, {"letter", "drive", "partition"}) || !r.Text(v, p, "letter", &letter) ||
                !r.Text(v, p, "drive", &volume.drive) || !r.Int(v, p, "partition", 1, 128, &volume.partition))
                return false;
            if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'Z')
                return r.Fail(p + "/letter", "a volume \"letter\" is one capital letter A to Z");
            volume.letter = letter[0];
            m->volumes.push_back(volume);
        }
    }
    if (const json* faults = list("faults")) {
        for (size_t i = 0; i < faults->size(); ++i) {
            FaultDesc f;
            if (!ReadFault(r, (*faults)[i], "/faults/" + std::to_string(i), &f)) return false;
            m->faults.push_back(f);
        }
    }
    return r.error.empty();
}

}  // namespace

bool ParseMachineJson(const std::string& text, const std::string& name, MachineDesc* machine, std::string* error) {
    json root;
    Sax sax(root);
    json::sax_parse(text, &sax, json::input_format_t::json, true, true);
    if (sax.failed) {
        int line = 1;
        for (size_t i = 0; i < sax.where && i < text.size(); ++i) line += text[i] == '\n';
        if (error) *error = name + ":" + std::to_string(line) + ": " + sax.message;
        return false;
    }
    LineScanner scanner{text, 0, 1, {}};
    scanner.Value("");
    Reader reader{name, scanner.lines, ""};
    MachineDesc desc;
    if (!ReadMachine(reader, root, &desc)) {
        if (error) *error = reader.error;
        return false;
    }
    // What only the whole machine can tell (parents, numbers, names): point
    // at the top of the drives, or of the file.
    std::string problem = CheckMachine(desc);
    if (!problem.empty()) {
        if (error) *error = name + ":" + std::to_string(reader.LineOf("/drives")) + ": " + problem;
        return false;
    }
    *machine = desc;
    return true;
}

bool LoadMachineFile(const std::string& path, MachineDesc* machine, std::string* error) {
    std::string text;
    if (!ReadWholeFile(path, &text)) {
        if (error) *error = path + ": cannot be read";
        return false;
    }
    return ParseMachineJson(text, path, machine, error);
}

}  // namespace sim
