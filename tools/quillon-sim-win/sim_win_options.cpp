// Reading QuillonSim.exe's command line.
#include "tools/quillon-sim-win/sim_win_options.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Words separated by blanks; double quotes group blanks into a word and are dropped.
std::vector<std::string> Words(const char* line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (const char* p = line ? line : ""; *p; ++p) {
        if (*p == '"') {
            quoted = !quoted;
            any = true;
        } else if ((*p == ' ' || *p == '\t') && !quoted) {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += *p;
            any = true;
        }
    }
    if (any) words.push_back(word);
    return words;
}

// "/name:value" without regard to the case of the name.
bool Option(const std::string& word, const char* name, std::string* value) {
    size_t n = strlen(name);
    if (word.size() < n + 2 || word[0] != '/' || word[n + 1] != ':') return false;
    for (size_t i = 0; i < n; ++i)
        if (tolower(static_cast<unsigned char>(word[i + 1])) != name[i]) return false;
    *value = word.substr(n + 2);
    return true;
}

}  // namespace

bool ParseSimWinCommandLine(const char* line, SimWinOptions* options, std::string* error) {
    *options = SimWinOptions{};
    for (const std::string& word : Words(line)) {
        std::string value;
        if (Option(word, "machine", &value)) {
            options->machine_path = value;
        } else if (Option(word, "transcript", &value)) {
            options->transcript_path = value;
        } else if (Option(word, "package", &value)) {
            options->package_path = value;
        } else if (Option(word, "pace", &value)) {
            char* end = nullptr;
            unsigned long ms = strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end || ms > 60000) {
                *error = "/pace wants milliseconds (0 to 60000): " + word;
                return false;
            }
            options->pace_ms = static_cast<unsigned>(ms);
        } else {
            if (!options->tool_command_line.empty()) options->tool_command_line += ' ';
            options->tool_command_line += word;
            continue;
        }
        if (value.empty()) {
            *error = "missing file in " + word;
            return false;
        }
    }
    return true;
}
