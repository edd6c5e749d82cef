// Console text of quillon-tool: UTF-8 in and out.
#include <cstdarg>
#include <cstdio>

#include "platform/wtext.h"
#include "tools/quillon-tool/tool_commands.h"

namespace {

void PrintTo(FILE* stream, const WCH* format, va_list args) {
    WCH text[2048];
    VFormatW(text, sizeof text / sizeof text[0], format, args);
    char narrow[3 * 2048 + 1];
    ToolNarrowUtf8(text, narrow, sizeof narrow);
    std::fputs(narrow, stream);
    std::fputc('\n', stream);
}

}  // namespace

void ToolPrintLine(const WCH* format, ...) {
    va_list args;
    va_start(args, format);
    PrintTo(stdout, format, args);
    va_end(args);
}

void ToolErrorLine(const WCH* format, ...) {
    std::fputs("quillon-tool: ", stderr);
    va_list args;
    va_start(args, format);
    PrintTo(stderr, format, args);
    va_end(args);
}

const ToolCommand* g_tool_command = nullptr;

void ToolPrintUsage() {
    if (g_tool_command == nullptr) return;
    std::fprintf(stderr, "usage: quillon-tool %s %s %s\n", g_tool_command->group, g_tool_command->name,
                 g_tool_command->arguments);
}

void ToolPrintRaw(const char* text) { std::fputs(text, stdout); }

std::string ToolJsonText(const WCH* text) {
    std::string out = "\"";
    char narrow[4];
    for (const WCH* p = text; *p; ++p) {
        const WCH c = *p;
        if (c == u'"' || c == u'\\') {
            out += '\\';
            out += char(c);
        } else if (c == u'\n') {
            out += "\\n";
        } else if (c == u'\t') {
            out += "\\t";
        } else if (c < 0x20) {
            std::snprintf(narrow, sizeof narrow, "%02X", unsigned(c));
            out += "\\u00";
            out += narrow;
        } else {
            // One code point (a surrogate pair travels together).
            WCH unit[3] = {c, 0, 0};
            if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) unit[1] = *++p;
            char bytes[16];
            ToolNarrowUtf8(unit, bytes, sizeof bytes);
            out += bytes;
        }
    }
    return out + "\"";
}

void ToolWidenUtf8(const char* in, WCH* out, size_t capacity) {
    if (capacity == 0) return;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(in);
    size_t o = 0;
    while (*p != 0 && o + 1 < capacity) {
        uint32_t cp = 0xFFFD;
        int need = 0;
        if (*p < 0x80) cp = *p;
        else if ((*p & 0xE0) == 0xC0) need = 1, cp = *p & 0x1F;
        else if ((*p & 0xF0) == 0xE0) need = 2, cp = *p & 0x0F;
        else if ((*p & 0xF8) == 0xF0) need = 3, cp = *p & 0x07;
        ++p;
        for (int k = 0; k < need; ++k) {
            if ((*p & 0xC0) != 0x80) {
                cp = 0xFFFD;
                break;
            }
            cp = (cp << 6) | (*p++ & 0x3F);
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        if (cp >= 0x10000) {
            if (o + 2 >= capacity) break;
            cp -= 0x10000;
            out[o++] = static_cast<WCH>(0xD800 + (cp >> 10));
            out[o++] = static_cast<WCH>(0xDC00 + (cp & 0x3FF));
        } else {
            out[o++] = static_cast<WCH>(cp);
        }
    }
    out[o] = 0;
}

void ToolNarrowUtf8(const WCH* in, char* out, size_t capacity) {
    if (capacity == 0) return;
    size_t o = 0;
    for (size_t i = 0; in[i] != 0; ++i) {
        uint32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        char bytes[4];
        size_t n;
        if (cp < 0x80) {
            bytes[0] = static_cast<char>(cp), n = 1;
        } else if (cp < 0x800) {
            bytes[0] = static_cast<char>(0xC0 | (cp >> 6)), bytes[1] = static_cast<char>(0x80 | (cp & 0x3F)), n = 2;
        } else if (cp < 0x10000) {
            bytes[0] = static_cast<char>(0xE0 | (cp >> 12)), bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            bytes[2] = static_cast<char>(0x80 | (cp & 0x3F)), n = 3;
        } else {
            bytes[0] = static_cast<char>(0xF0 | (cp >> 18)), bytes[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            bytes[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), bytes[3] = static_cast<char>(0x80 | (cp & 0x3F));
            n = 4;
        }
        if (o + n >= capacity) break;
        for (size_t k = 0; k < n; ++k) out[o++] = bytes[k];
    }
    out[o] = 0;
}
