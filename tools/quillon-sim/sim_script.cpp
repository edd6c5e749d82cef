#include "tools/quillon-sim/sim_script.h"

#include <mutex>
#include <sstream>

#include "platform/host/host_control.h"

namespace {
std::mutex g_mutex;
FILE* g_file = nullptr;
}  // namespace

const char* DefaultScript() {
    return "select 0\n"
           "answer yes\n"
           "run\n"
           "wait\n"
           "close\n";
}

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
        bool needs_arg = step.verb == "select" || step.verb == "answer";
        bool known = needs_arg || step.verb == "run" || step.verb == "wait" || step.verb == "close" ||
                     step.verb == "show";
        if (!known || (needs_arg && step.arg.empty())) {
            *error = std::to_string(number) + ": " + (known ? "missing argument for " : "unknown action ") + step.verb;
            return false;
        }
        if (step.verb == "answer" && step.arg != "yes" && step.arg != "no" && step.arg != "ok" &&
            step.arg != "cancel") {
            *error = std::to_string(number) + ": answer must be yes, no, ok or cancel";
            return false;
        }
        steps->push_back(step);
    }
    return true;
}

void TranscriptOpen(FILE* file) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_file = file;
}

void TranscriptEvent(const std::string& event, const std::string& fields) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_file) return;
    fprintf(g_file, "{\"t\": %llu, \"event\": \"%s\"%s}\n", static_cast<unsigned long long>(HostClockNow()),
            event.c_str(), fields.c_str());
    fflush(g_file);
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
