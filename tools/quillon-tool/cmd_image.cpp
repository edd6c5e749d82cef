// quillon-tool image info / verify / reseal / make.
#include <cstring>
#include <string>
#include <vector>

#include "package/files.h"
#include "package/image.h"
#include "platform/os.h"
#include "platform/wtext.h"
#include "tools/quillon-tool/config_commands.h"
#include "tools/quillon-tool/tool_args.h"
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

bool ToolReadInput(const WCH* path, const WCH* label, std::vector<BYTE>* bytes) {
    WCH where[600];
    if (label[0]) FormatW(where, 600, u"%s %s", label, path);
    else WCopy(where, 600, path);
    const DWORD attributes = os::GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ToolErrorLine(u"%s: is a folder, not a file", where);
        return false;
    }
    uint64_t size = 0;
    switch (ToolReadPlainFile(path, bytes, &size)) {
        case kPlainFileRead: return true;
        case kPlainFileMissing: ToolErrorLine(u"%s: no such file", where); return false;
        case kPlainFileNotPlain:
            ToolErrorLine(u"%s: not a regular file (a pipe, device or link is not read)", where);
            return false;
        case kPlainFileTooLarge:
            ToolErrorLine(u"%s: %I64u bytes, more than the %I64u an input may have", where, size, kMaxImageFile);
            return false;
        default: ToolErrorLine(u"%s: cannot be read", where); return false;
    }
}

namespace {

const ToolOptionDesc kJsonOnly[] = {{u"--json", false}};

// What image info shows, read once for both the text and the JSON.
struct ImageFacts {
    size_t size = 0;
    bool magic = false;
    bool header = false;  // the three regions can be shown
    uint32_t regions[3][2] = {};
    bool layout_ok = false;
    unsigned trailer_page = 0;
    uint32_t stored = 0, crc32c = 0, crc32 = 0, ftl_build = 0;
    int variant = -1;
    WCH config_version[9] = {};
    WCH version[32] = {};
};

void ReadFacts(const std::vector<BYTE>& img, ImageFacts* f) {
    f->size = img.size();
    f->magic = img.size() >= 4 && GetLe32(img.data()) == image::kMagic;
    f->header = f->magic && img.size() >= image::kHeaderBytes;
    for (int r = 0; f->header && r < 3; ++r) {
        f->regions[r][0] = GetLe32(img.data() + 0x10 + 8 * r);
        f->regions[r][1] = GetLe32(img.data() + 0x14 + 8 * r);
    }
    ImageLayout l;
    f->layout_ok = GetImageLayout(img.data(), img.size(), &l) != 0;
    if (f->layout_ok) {
        f->trailer_page = unsigned(l.trailer / image::kPage);
        f->stored = GetLe32(img.data() + l.trailer + image::kTrailerCrc);
        f->crc32c = ComputeImageChecksum(img.data(), &l, 1);
        f->crc32 = ComputeImageChecksum(img.data(), &l, 0);
        f->variant = ToolChecksumVariant(img.data(), img.size());
        f->ftl_build = GetLe32(img.data() + l.trailer + image::kTrailerFtlBuild);
        const BYTE* cv = img.data() + size_t(l.first[2]) * image::kPage + image::kConfigVersion;
        for (size_t i = 0; i < 8 && cv[i]; ++i) f->config_version[i] = WCH(cv[i]);
    }
    ReadImageVersionFromBytes(img.data(), img.size(), f->version);
}

void PrintFactsText(const ImageFacts& f) {
    ToolPrintLine(u"size\t%u", unsigned(f.size));
    ToolPrintLine(u"magic\t%s", f.magic ? u"CMFG" : u"missing");
    for (int r = 0; f.header && r < 3; ++r) ToolPrintLine(u"region %d\tpages %u-%u", r, f.regions[r][0], f.regions[r][1]);
    if (f.magic && !f.layout_ok) ToolPrintLine(u"layout\tbroken: a region or the trailer page lies outside the file");
    if (f.layout_ok) {
        ToolPrintLine(u"trailer\tpage %u", f.trailer_page);
        ToolPrintLine(u"checksum\t%08X stored, %08X CRC-32C, %08X CRC-32, matches %s", f.stored, f.crc32c, f.crc32,
                      VariantName(f.variant));
        ToolPrintLine(u"ftl build\t0x%08X", f.ftl_build);
        ToolPrintLine(u"config version\t%s", f.config_version);
    }
    ToolPrintLine(u"version\t%s", f.version[0] ? f.version : u"(none)");
}

std::string Number(uint32_t n) { return std::to_string(n); }

void PrintFactsJson(const WCH* path, const ImageFacts& f) {
    std::string j = "{\"file\": " + ToolJsonText(path) + ", \"size\": " + std::to_string(f.size) +
                    ", \"magic\": " + (f.magic ? "true" : "false") + ", \"regions\": [";
    for (int r = 0; f.header && r < 3; ++r)
        j += std::string(r ? ", " : "") + "{\"first_page\": " + Number(f.regions[r][0]) +
             ", \"last_page\": " + Number(f.regions[r][1]) + "}";
    j += std::string("], \"layout_ok\": ") + (f.layout_ok ? "true" : "false");
    if (f.layout_ok) {
        j += ", \"trailer_page\": " + Number(f.trailer_page) + ", \"checksum\": {\"stored\": " + Number(f.stored) +
             ", \"crc32c\": " + Number(f.crc32c) + ", \"crc32\": " + Number(f.crc32) + ", \"matches\": " +
             (f.variant < 0 ? std::string("null") : ToolJsonText(VariantName(f.variant))) +
             "}, \"ftl_build\": " + Number(f.ftl_build) + ", \"config_version\": " + ToolJsonText(f.config_version);
    }
    j += ", \"version\": " + (f.version[0] ? ToolJsonText(f.version) : std::string("null")) + "}\n";
    ToolPrintRaw(j.c_str());
}

}  // namespace

int ToolImageInfo(int argc, const WCH* const* argv) {
    ToolArgs args;
    if (!ToolParseArgs(argc, argv, kJsonOnly, 1, 1, 1, &args)) return kToolUsage;
    const WCH* path = args.words[0];
    std::vector<BYTE> img;
    if (!ToolReadInput(path, u"", &img)) return kToolFailed;
    ImageFacts facts;
    ReadFacts(img, &facts);
    if (args.values[0]) PrintFactsJson(path, facts);
    else PrintFactsText(facts);
    return kToolOk;
}

int ToolImageVerify(int argc, const WCH* const* argv) {
    ToolArgs args;
    if (!ToolParseArgs(argc, argv, kJsonOnly, 1, 1, 1, &args)) return kToolUsage;
    const WCH* path = args.words[0];
    const bool json = args.values[0] != nullptr;
    std::vector<BYTE> img;
    if (!ToolReadInput(path, u"", &img)) return kToolFailed;
    const WCH* failure = nullptr;
    int variant = -1;
    if (!GetImageLayout(img.data(), img.size(), nullptr)) {
        failure = u"not a configuration image (no magic, or regions outside the file)";
    } else {
        variant = ToolChecksumVariant(img.data(), img.size());
        if (variant < 0) failure = u"checksum matches neither CRC-32C nor CRC-32";
    }
    if (json) {
        std::string j = "{\"file\": " + ToolJsonText(path) + ", \"ok\": " + (failure ? "false" : "true") +
                        ", \"variant\": " + (variant < 0 ? std::string("null") : ToolJsonText(VariantName(variant))) +
                        ", \"reason\": " + (failure ? ToolJsonText(failure) : std::string("null")) + "}\n";
        ToolPrintRaw(j.c_str());
    } else if (failure) {
        ToolErrorLine(u"%s: %s", path, failure);
    } else {
        ToolPrintLine(u"%s: checksum OK (%s)", path, VariantName(variant));
    }
    return failure ? kToolFailed : kToolOk;
}

int ToolImageReseal(int argc, const WCH* const* argv) {
    static const ToolOptionDesc kSpecs[] = {{u"--crc32c", false}, {u"--crc32", false}};
    ToolArgs args;
    if (!ToolParseArgs(argc, argv, kSpecs, 2, 1, 1, &args)) return kToolUsage;
    if (args.values[0] && args.values[1]) return ToolUsageError(u"--crc32c and --crc32 exclude each other");
    const WCH* path = args.words[0];
    const int forced = args.values[0] ? 1 : args.values[1] ? 0 : -1;
    std::vector<BYTE> img;
    if (!ToolReadInput(path, u"", &img)) return kToolFailed;
    ImageLayout l;
    if (!GetImageLayout(img.data(), img.size(), &l)) {
        ToolErrorLine(u"%s: not a configuration image", path);
        return kToolFailed;
    }
    // Without a choice the image keeps the variant it carries; one that
    // matches neither gets CRC-32C.
    int variant = forced;
    if (variant < 0) variant = ToolChecksumVariant(img.data(), img.size()) == 0 ? 0 : 1;
    uint32_t crc = ComputeImageChecksum(img.data(), &l, variant);
    PutLe32(img.data() + l.trailer + image::kTrailerZero, 0);
    PutLe32(img.data() + l.trailer + image::kTrailerCrc, crc);
    if (!WriteWholeFile(path, img.data(), DWORD(img.size()))) {
        ToolErrorLine(u"%s: cannot be written", path);
        return kToolFailed;
    }
    ToolPrintLine(u"%s: sealed with %s %08X", path, VariantName(variant), crc);
    return kToolOk;
}

int ToolImageMake(int argc, const WCH* const* argv) {
    enum { kFirmware, kConfig, kConfigVersion, kVersion, kBuild, kCrc32 };
    static const ToolOptionDesc kSpecs[] = {{u"--firmware", true}, {u"--config", true}, {u"--config-version", true},
                                            {u"--version", true},  {u"--build", true},  {u"--crc32", false}};
    ToolArgs args;
    if (!ToolParseArgs(argc, argv, kSpecs, 6, 1, 1, &args)) return kToolUsage;
    const WCH* out_path = args.words[0];
    const WCH* firmware_path = args.values[kFirmware];
    const WCH* config_path = args.values[kConfig];
    const WCH* config_version = args.values[kConfigVersion];
    const WCH* version = args.values[kVersion];
    const WCH* build = args.values[kBuild];
    const int crc32c = args.values[kCrc32] ? 0 : 1;
    for (int required : {kFirmware, kVersion, kBuild}) {
        if (!args.values[size_t(required)]) return ToolUsageError(u"%s is required", kSpecs[required].name);
    }
    ImageDesc desc{};
    uint32_t build_number = 0;
    if (!ParseNumber(build, &build_number))
        return ToolUsageError(u"--build %s: not a number from 0 to 4294967295 (decimal, or hexadecimal after 0x)",
                              build);
    if (!ParseVersionParts(version, desc.version))
        return ToolUsageError(u"--version %s: neither 1A2B3C4D (8 characters) nor 1.2.3.4", version);
    if (config_version) {
        // The drive's version field holds 8 ASCII characters; a longer text
        // would be cut where the author cannot see it.
        if (WLen(config_version) > 8)
            return ToolUsageError(u"--config-version %s: longer than the 8 characters the field holds",
                                  config_version);
        for (const WCH* p = config_version; *p; ++p) {
            if (*p < 0x20 || *p > 0x7E)
                return ToolUsageError(u"--config-version %s: only printable ASCII characters fit the field",
                                      config_version);
        }
    }
    std::vector<BYTE> firmware, config;
    if (!ToolReadInput(firmware_path, u"--firmware", &firmware)) return kToolFailed;
    if (firmware.empty()) {
        ToolErrorLine(u"--firmware %s: the file is empty", firmware_path);
        return kToolFailed;
    }
    if (config_path && !ToolReadInput(config_path, u"--config", &config)) return kToolFailed;
    if (config.size() > image::kConfigBlock) {
        ToolErrorLine(u"--config %s: the configuration block is larger than 4096 bytes", config_path);
        return kToolFailed;
    }
    config.resize(image::kConfigBlock, 0);
    if (config_version) {
        std::memset(config.data() + image::kConfigVersion, 0, 8);
        for (size_t i = 0; config_version[i]; ++i) config[image::kConfigVersion + i] = BYTE(config_version[i]);
    }
    desc.firmware = firmware.data();
    desc.firmware_size = firmware.size();
    desc.config = config.data();
    desc.config_size = config.size();
    desc.ftl_build = build_number;
    desc.crc32c = crc32c;
    std::vector<BYTE> out(ImageSizeFor(firmware.size()));
    if (MakeImage(&desc, out.data(), out.size()) != out.size() ||
        !WriteWholeFile(out_path, out.data(), DWORD(out.size()))) {
        ToolErrorLine(u"%s: cannot be written", out_path);
        return kToolFailed;
    }
    ToolPrintLine(u"%s: %u bytes, version %s, build 0x%08X, %s", out_path, unsigned(out.size()), version, build_number,
                  VariantName(crc32c));
    return kToolOk;
}
