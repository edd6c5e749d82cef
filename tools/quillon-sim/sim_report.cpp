// Text pictures of the headless dialog.
#include "tools/quillon-sim/sim_report.h"

#include <string>
#include <vector>

#include "app/dialog_ids.h"
#include "core/app_state.h"
#include "platform/host/host_path.h"

namespace {

struct Line {
    const char* key;
    int id;
};

// Newlines inside a text would break the one-line-per-key layout.
std::string OneLine(const std::u16string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
        if (text[i] == u'\r' || text[i] == u'\n') {
            out += u"\\n";
        } else {
            out += text[i];
        }
    }
    return Utf8(out);
}

// An entry's item data is the drive's place in the tool's enumeration; what
// a user knows it by is its physical drive number (\\.\PhysicalDriveN).
// The entry the tool adds for a drive that left during an update points
// past the enumeration.
std::string DriveOf(LPARAM data) {
    const AppState* state = GetAppState();
    if (data < 0 || data >= static_cast<LPARAM>(state->iDiskCount)) return "drive gone";
    return "drive " + std::to_string(state->DiskList[data].iDiskNumber);
}

}  // namespace

std::string Utf8(const std::u16string& text) { return HostUtf8(text); }

std::string DescribeDialog() {
    std::string out;
    out += "title: " + OneLine(HostControlText(0)) + "\n";

    std::vector<HostComboItem> items = HostComboItems(kIdDriveList);
    int selected = HostComboSelection(kIdDriveList);
    out += "list: " + std::to_string(items.size()) + " entries, selected " + std::to_string(selected) + "\n";
    for (size_t i = 0; i < items.size(); ++i) {
        out += (static_cast<int>(i) == selected ? "  * " : "    ");
        out += "[" + std::to_string(i) + "] " + OneLine(items[i].text) + " (" + DriveOf(items[i].data) + ")\n";
    }

    static const Line kLines[] = {
        {"model", kIdModel},         {"serial", kIdSerial},     {"interface", kIdInterface},
        {"firmware", kIdFirmware},   {"capacity", kIdCapacity}, {"status", kIdStatus},
    };
    for (const Line& line : kLines) out += std::string(line.key) + ": " + OneLine(HostControlText(line.id)) + "\n";

    out += "progress: " + std::to_string(HostProgressPosition(kIdProgress)) + "\n";
    out += std::string("enabled: list ") + (HostControlEnabled(kIdDriveList) ? "yes" : "no") + ", run " +
           (HostControlEnabled(kIdRun) ? "yes" : "no") + "\n";
    return out;
}

std::string DescribeMessageBox(const HostMessageBox& box) {
    return "message box: [" + OneLine(box.caption) + "] " + OneLine(box.text);
}
