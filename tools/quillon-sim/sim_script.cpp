#include "tools/quillon-sim/sim_script.h"

#include <cerrno>
#include <mutex>
#include <cstdlib>
#include <sstream>

#include "platform/host/host_control.h"
#include "platform/trace/trace_recorder.h"

namespace {
std::mutex g_mutex;
FILE* g_file = nullptr;
int g_write_errno = 0;  // errno of the first write that failed
}  // namespace

const char* DefaultScript() {
    return "select 0\n"
           "answer yes\n"
           "run\n"
           "wait\n"
           "close\n";
}

namespace {

bool IsCount(const std::string& text) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// Seconds of virtual time: digits with an optional fraction, up to a day.
bool IsSeconds(const std::string& text) {
    char* end = nullptr;
    double v = strtod(text.c_str(), &end);
    if (text.empty() || *end || !(v >= 0 && v <= 86400)) return false;
    for (char c : text)
        if ((c < '0' || c > '9') && c != '.') return false;
    return true;
}

}  // namespace

bool ParseScript(const std::string& text, std::vector<ScriptStep>* steps, std::string* error) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        ScriptStep step;
        step.line = number;
        if (!(words >> step.verb)) continue;
        words >> step.arg;
        std::string extra;
        const std::string& v = step.verb;
        bool needs_arg = v == "select" || v == "answer" || v == "sleep" || v == "unplug" || v == "plug";
        bool known = needs_arg || v == "run" || v == "wait" || v == "close" || v == "show";
        std::string where = std::to_string(number) + ": ";
        if (!known) {
            *error = where + "unknown action " + v;
            return false;
        }
        if (needs_arg && step.arg.empty()) {
            *error = where + v + ": missing argument";
            return false;
        }
        if (!needs_arg && !step.arg.empty()) {
            *error = where + v + ": takes no argument: " + step.arg;
            return false;
        }
        if (words >> extra) {
            *error = where + v + ": one argument only: " + extra;
            return false;
        }
        if (v == "select" && !IsCount(step.arg)) {
            *error = where + "select: not a number: " + step.arg;
            return false;
        }
        if (v == "sleep" && !IsSeconds(step.arg)) {
            *error = where + "sleep: not a number of seconds (0 to 86400): " + step.arg;
            return false;
        }
        if (v == "answer" && step.arg != "yes" && step.arg != "no" && step.arg != "ok" && step.arg != "cancel") {
            *error = where + "answer: must be yes, no, ok or cancel: " + step.arg;
            return false;
        }
        steps->push_back(step);
    }
    return true;
}

void TranscriptOpen(FILE* file) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_file = file;
    g_write_errno = 0;
}

int TranscriptWriteError() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_write_errno;
}

void TranscriptEventAt(unsigned long long tick, const std::string& event, const std::string& fields) {
    // A field trace holds the dialog's events too; device requests it has already.
    if (event != "request") TraceDialogEvent(event.c_str(), fields.c_str());
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_file) return;
    // A full disk shows at the flush; the first failure is the one reported.
    if (fprintf(g_file, "{\"t\": %llu, \"event\": \"%s\"%s}\n", tick, event.c_str(), fields.c_str()) < 0 ||
        fflush(g_file) != 0) {
        if (!g_write_errno) g_write_errno = errno ? errno : EIO;
    }
}

void TranscriptEvent(const std::string& event, const std::string& fields) {
    TranscriptEventAt(static_cast<unsigned long long>(HostClockNow()), event, fields);
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string JsonHex(const std::vector<unsigned char>& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char b : bytes) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out + "\"";
}
