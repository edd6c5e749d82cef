// Result codes of the zip reader and their texts.
#include <atomic>

#include "package/zip_internal.h"
#include "platform/wtext.h"

namespace {

// Written by every reader operation; one value for the whole process.
std::atomic<ZRESULT> g_last_result{ZR_OK};

struct ResultText {
    ZRESULT code;
    const WCH* text;
};

// The texts are part of what callers show; they keep their spelling.
const ResultText kResultTexts[] = {
    {ZR_OK, u"Success"},
    {ZR_NODUPH, u"Culdn't duplicate handle"},
    {ZR_NOFILE, u"Couldn't create/open file"},
    {ZR_NOALLOC, u"Failed to allocate memory"},
    {ZR_WRITE, u"Error writing to file"},
    {ZR_NOTFOUND, u"File not found in the zipfile"},
    {ZR_MORE, u"Still more data to unzip"},
    {ZR_CORRUPT, u"Zipfile is corrupt or not a zipfile"},
    {ZR_READ, u"Error reading file"},
    {ZR_PASSWORD, u"Correct password required"},
    {ZR_ARGS, u"Caller: faulty arguments"},
    {ZR_NOTMMAP, u"Caller: can only get memory of a memory zipfile"},
    {ZR_MEMSIZE, u"Caller: not enough space allocated for memory zipfile"},
    {ZR_FAILED, u"Caller: there was a previous error"},
    {ZR_ENDED, u"Caller: additions to the zip have already been ended"},
    {ZR_MISSIZE, u"Zip-bug: the anticipated size turned out wrong"},
    {ZR_PARTIALUNZ, u"Caller: the file had already been partially unzipped"},
    {ZR_ZMODE, u"Caller: mixing creation and opening of zip"},
    {ZR_NOTINITED, u"Zip-bug: internal initialisation not completed"},
    {ZR_SEEK, u"Zip-bug: trying to seek the unseekable"},
    {ZR_NOCHANGE, u"Zip-bug: tried to change mind, but not allowed"},
    {ZR_FLATE, u"Zip-bug: an internal error during flation"},
};

}  // namespace

ZRESULT ZipSetResult(ZRESULT code) {
    g_last_result.store(code, std::memory_order_relaxed);
    return code;
}

ZRESULT ZipLastResult() { return g_last_result.load(std::memory_order_relaxed); }

unsigned ZipResultText(ZRESULT code, WCH* buffer, unsigned capacity) {
    if (code == kZipMostRecentResult) code = ZipLastResult();
    const WCH* text = u"unknown zip result code";
    for (const ResultText& entry : kResultTexts) {
        if (entry.code == code) {
            text = entry.text;
            break;
        }
    }
    if (buffer != nullptr && capacity > 0) WCopy(buffer, capacity, text);
    return static_cast<unsigned>(WLen(text));
}
