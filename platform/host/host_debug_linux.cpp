// os::OutputDebugStringW into a list tests read, and on to a forwarder.
#include <mutex>

#include "platform/host/host_control.h"
#include "platform/os.h"

namespace {

std::mutex g_debug_mutex;
std::vector<std::u16string> g_lines;
std::function<void(const WCH*)> g_forward;

}  // namespace

std::vector<std::u16string> HostDebugLines() {
    std::lock_guard<std::mutex> lock(g_debug_mutex);
    return g_lines;
}

void HostDebugClear() {
    std::lock_guard<std::mutex> lock(g_debug_mutex);
    g_lines.clear();
}

void HostDebugSetForward(std::function<void(const WCH* text)> forward) {
    std::lock_guard<std::mutex> lock(g_debug_mutex);
    g_forward = std::move(forward);
}

namespace os {

void OutputDebugStringW(const WCH* text) {
    if (!text) text = u"";
    std::function<void(const WCH*)> forward;
    {
        std::lock_guard<std::mutex> lock(g_debug_mutex);
        g_lines.emplace_back(text);
        forward = g_forward;
    }
    if (forward) forward(text);
}

}  // namespace os
