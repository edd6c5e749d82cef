// quillon-tool image info / verify / reseal / make.
#include <cstring>
#include <vector>

#include "package/files.h"
#include "package/image.h"
#include "platform/wtext.h"
#include "tools/quillon-tool/config_commands.h"
#include "tools/quillon-tool/tool_commands.h"

namespace {

const WCH* VariantName(int variant) { return variant == 1 ? u"CRC-32C" : variant == 0 ? u"CRC-32" : u"none"; }

bool ParseNumber(const WCH* text, uint32_t* out) {
    uint32_t base = 10;
    if (text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) base = 16, text += 2;
    if (!*text) return false;
    uint64_t v = 0;
    for (; *text; ++text) {
        WCH c = *text;
        uint32_t d = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10
                   : c >= u'A' && c <= u'F' ? c - u'A' + 10 : 99;
        if (d >= base) return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFu) return false;
    }
    *out = uint32_t(v);
    return true;
}

}  // namespace

bool ToolReadFile(const WCH* path, std::vector<BYTE>* bytes) {
    bytes->clear();
    if (!PathExists(path)) return false;
    DWORD size = ReadWholeFile(path, 0, nullptr);
    bytes->resize(size);
    if (size == 0) return true;
    return ReadWholeFile(path, size, bytes->data()) == size;
}

int ToolChecksumVariant(const BYTE* data, size_t size) {
    ImageLayout l;
    if (!GetImageLayout(data, size, &l)) return -1;
    uint32_t stored = GetLe32(data + l.trailer + image::kTrailerCrc);
    if (ComputeImageChecksum(data, &l, 1) == stored) return 1;
    if (ComputeImageChecksum(data, &l, 0) == stored) return 0;
    return -1;
}

int ToolImageInfo(int argc, const WCH* const* argv) {
    if (argc != 1) {
        ToolErrorLine(u"usage: quillon-tool image info IMAGE");
        return kToolUsage;
    }
    std::vector<BYTE> img;
    if (!ToolReadFile(argv[0], &img)) {
        ToolErrorLine(u"quillon-tool: cannot read %s", argv[0]);
        return kToolFailed;
    }
    ToolPrintLine(u"size\t%u", unsigned(img.size()));
    bool magic = img.size() >= 4 && GetLe32(img.data()) == image::kMagic;
    ToolPrintLine(u"magic\t%s", magic ? u"CMFG" : u"missing");
    ImageLayout l;
    int layout_ok = GetImageLayout(img.data(), img.size(), &l);
    if (magic && img.size() >= image::kHeaderBytes) {
        for (int r = 0; r < 3; ++r)
            ToolPrintLine(u"region %d\tpages %u-%u", r, GetLe32(img.data() + 0x10 + 8 * r),
                          GetLe32(img.data() + 0x14 + 8 * r));
    }
    if (magic && !layout_ok) ToolPrintLine(u"layout\tbroken: a region or the trailer page lies outside the file");
    if (layout_ok) {
        ToolPrintLine(u"trailer\tpage %u", unsigned(l.trailer / image::kPage));
        ToolPrintLine(u"checksum\t%08X stored, %08X CRC-32C, %08X CRC-32, matches %s",
                      GetLe32(img.data() + l.trailer + image::kTrailerCrc), ComputeImageChecksum(img.data(), &l, 1),
                      ComputeImageChecksum(img.data(), &l, 0), VariantName(ToolChecksumVariant(img.data(), img.size())));
        ToolPrintLine(u"ftl build\t0x%08X", GetLe32(img.data() + l.trailer + image::kTrailerFtlBuild));
        char config_version[9] = {};
        std::memcpy(config_version, img.data() + size_t(l.first[2]) * image::kPage + image::kConfigVersion, 8);
        ToolPrintLine(u"config version\t%S", config_version);
    }
    WCH version[32];
    ReadImageVersionFromBytes(img.data(), img.size(), version);
    ToolPrintLine(u"version\t%s", version[0] ? version : u"(none)");
    return kToolOk;
}

int ToolImageVerify(int argc, const WCH* const* argv) {
    if (argc != 1) {
        ToolErrorLine(u"usage: quillon-tool image verify IMAGE");
        return kToolUsage;
    }
    std::vector<BYTE> img;
    if (!ToolReadFile(argv[0], &img)) {
        ToolErrorLine(u"quillon-tool: cannot read %s", argv[0]);
        return kToolFailed;
    }
    if (!GetImageLayout(img.data(), img.size(), nullptr)) {
        ToolPrintLine(u"%s: not a configuration image (no magic, or regions outside the file)", argv[0]);
        return kToolFailed;
    }
    int variant = ToolChecksumVariant(img.data(), img.size());
    if (variant < 0) {
        ToolPrintLine(u"%s: checksum matches neither CRC-32C nor CRC-32", argv[0]);
        return kToolFailed;
    }
    ToolPrintLine(u"%s: checksum OK (%s)", argv[0], VariantName(variant));
    return kToolOk;
}

int ToolImageReseal(int argc, const WCH* const* argv) {
    int forced = -1;
    if (argc == 2 && WCompare(argv[1], u"--crc32c") == 0) forced = 1;
    else if (argc == 2 && WCompare(argv[1], u"--crc32") == 0) forced = 0;
    else if (argc != 1) {
        ToolErrorLine(u"usage: quillon-tool image reseal IMAGE [--crc32c|--crc32]");
        return kToolUsage;
    }
    std::vector<BYTE> img;
    if (!ToolReadFile(argv[0], &img)) {
        ToolErrorLine(u"quillon-tool: cannot read %s", argv[0]);
        return kToolFailed;
    }
    ImageLayout l;
    if (!GetImageLayout(img.data(), img.size(), &l)) {
        ToolErrorLine(u"%s: not a configuration image", argv[0]);
        return kToolFailed;
    }
    // Without a choice the image keeps the variant it carries; one that
    // matches neither gets CRC-32C.
    int variant = forced;
    if (variant < 0) variant = ToolChecksumVariant(img.data(), img.size()) == 0 ? 0 : 1;
    uint32_t crc = ComputeImageChecksum(img.data(), &l, variant);
    PutLe32(img.data() + l.trailer + image::kTrailerZero, 0);
    PutLe32(img.data() + l.trailer + image::kTrailerCrc, crc);
    if (!WriteWholeFile(argv[0], img.data(), DWORD(img.size()))) {
        ToolErrorLine(u"quillon-tool: cannot write %s", argv[0]);
        return kToolFailed;
    }
    ToolPrintLine(u"%s: sealed with %s %08X", argv[0], VariantName(variant), crc);
    return kToolOk;
}

int ToolImageMake(int argc, const WCH* const* argv) {
    const WCH* usage =
        u"usage: quillon-tool image make OUT --firmware FILE [--config FILE] [--config-version TEXT] "
        u"--version VERSION --build NUMBER [--crc32]";
    if (argc < 1) {
        ToolErrorLine(usage);
        return kToolUsage;
    }
    const WCH* firmware_path = nullptr;
    const WCH* config_path = nullptr;
    const WCH* config_version = nullptr;
    const WCH* version = nullptr;
    const WCH* build = nullptr;
    int crc32c = 1;
    for (int i = 1; i < argc; ++i) {
        const WCH* a = argv[i];
        const WCH* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (WCompare(a, u"--crc32") == 0) {
            crc32c = 0;
            continue;
        }
        if (!next) {
            ToolErrorLine(usage);
            return kToolUsage;
        }
        if (WCompare(a, u"--firmware") == 0) firmware_path = next;
        else if (WCompare(a, u"--config") == 0) config_path = next;
        else if (WCompare(a, u"--config-version") == 0) config_version = next;
        else if (WCompare(a, u"--version") == 0) version = next;
        else if (WCompare(a, u"--build") == 0) build = next;
        else {
            ToolErrorLine(usage);
            return kToolUsage;
        }
        ++i;
    }
    ImageDesc desc{};
    uint32_t build_number = 0;
    if (!firmware_path || !version || !build || !ParseNumber(build, &build_number)) {
        ToolErrorLine(usage);
        return kToolUsage;
    }
    if (!ParseVersionParts(version, desc.version)) {
        ToolErrorLine(u"quillon-tool: version %s is neither 1A2B3C4D nor 1.2.3.4", version);
        return kToolUsage;
    }
    std::vector<BYTE> firmware, config;
    if (!ToolReadFile(firmware_path, &firmware)) {
        ToolErrorLine(u"quillon-tool: cannot read %s", firmware_path);
        return kToolFailed;
    }
    if (config_path && !ToolReadFile(config_path, &config)) {
        ToolErrorLine(u"quillon-tool: cannot read %s", config_path);
        return kToolFailed;
    }
    if (config.size() > image::kConfigBlock) {
        ToolErrorLine(u"quillon-tool: the configuration block is larger than 4096 bytes");
        return kToolFailed;
    }
    config.resize(image::kConfigBlock, 0);
    if (config_version) {
        std::memset(config.data() + image::kConfigVersion, 0, 8);
        for (size_t i = 0; i < 8 && config_version[i]; ++i)
            config[image::kConfigVersion + i] = BYTE(config_version[i] < 0x80 ? config_version[i] : '?');
    }
    desc.firmware = firmware.data();
    desc.firmware_size = firmware.size();
    desc.config = config.data();
    desc.config_size = config.size();
    desc.ftl_build = build_number;
    desc.crc32c = crc32c;
    std::vector<BYTE> out(ImageSizeFor(firmware.size()));
    if (MakeImage(&desc, out.data(), out.size()) != out.size() ||
        !WriteWholeFile(argv[0], out.data(), DWORD(out.size()))) {
        ToolErrorLine(u"quillon-tool: cannot write %s", argv[0]);
        return kToolFailed;
    }
    ToolPrintLine(u"%s: %u bytes, version %s, build 0x%08X, %s", argv[0], unsigned(out.size()), version, build_number,
                  VariantName(crc32c));
    return kToolOk;
}
