// Reading the data of one entry: stored bytes are copied, deflated bytes go
// through a raw inflate stream; input moves through one 16 KiB buffer.
#include <cstdlib>
#include <cstring>

#include "package/zip_internal.h"

namespace {

// Refills the input buffer from the entry data. False on a read failure.
bool Refill(ZipReaderState* s) {
    const DWORD want = s->comp_left < kZipBufferSize ? static_cast<DWORD>(s->comp_left) : kZipBufferSize;
    const DWORD got = ZipReadSome(s, s->data_pos, s->in_buf, want);
    if (got == 0) return false;
    s->data_pos += got;
    s->comp_left -= got;
    s->in_next = s->in_buf;
    s->in_avail = got;
    return true;
}

}  // namespace

ZRESULT ZipOpenEntryData(ZipReaderState* s) {
    ZipCloseEntryData(s);
    uint64_t extra_pos = 0;
    WORD extra_len = 0;
    if (!ZipCheckLocalHeader(s, &extra_pos, &extra_len)) return ZR_FLATE;
    s->in_buf = static_cast<BYTE*>(std::malloc(kZipBufferSize));
    if (s->in_buf == nullptr) return ZR_NOALLOC;
    const ZipCentralEntry& e = s->current;
    // Stored data is the file itself: bytes past the declared size would be
    // data nobody declared, bytes short of it a cut file.
    if (e.method == 0 && e.comp_size != e.unc_size) return ZR_FLATE;
    s->method = e.method;
    s->stream_ended = false;
    s->data_pos = extra_pos + extra_len;
    s->crc = 0;
    s->expected_crc = e.crc;
    s->comp_left = e.comp_size;
    s->unc_left = e.unc_size;
    s->in_next = s->in_buf;
    s->in_avail = 0;
    s->entry_open = true;
    if (s->method == 8) {
        std::memset(&s->stream, 0, sizeof s->stream);
        // Zip entries carry raw deflate data: no zlib header, 32 KiB window.
        if (inflateInit2(&s->stream, -15) != Z_OK) {
            ZipCloseEntryData(s);
            return ZR_FLATE;
        }
        s->inflating = true;
    }
    return ZR_OK;
}

bool ZipReadEntryData(ZipReaderState* s, BYTE* out, DWORD size, DWORD* produced, bool* ended) {
    *produced = 0;
    *ended = false;
    if (size > s->unc_left) size = static_cast<DWORD>(s->unc_left);
    if (size == 0) {
        *ended = true;
        return true;
    }
    if (s->method == 0) {
        if (s->in_avail == 0 && s->comp_left > 0 && !Refill(s)) return false;
        const DWORD n = s->in_avail < size ? s->in_avail : size;
        std::memcpy(out, s->in_next, n);
        s->in_next += n;
        s->in_avail -= n;
        *produced = n;
    } else {
        z_stream& z = s->stream;
        z.next_out = out;
        z.avail_out = size;
        while (z.avail_out > 0) {
            if (s->in_avail == 0 && s->comp_left > 0 && !Refill(s)) return false;
            z.next_in = s->in_next;
            z.avail_in = s->in_avail;
            const int rc = inflate(&z, Z_SYNC_FLUSH);
            s->in_next = z.next_in;
            s->in_avail = z.avail_in;
            if (rc == Z_STREAM_END) {
                *ended = true;
                s->stream_ended = true;
                break;
            }
            if (rc == Z_BUF_ERROR) break;  // no progress possible: input used up
            if (rc != Z_OK) return false;
            if (s->in_avail == 0 && s->comp_left == 0) break;
        }
        *produced = size - z.avail_out;
    }
    s->crc = static_cast<DWORD>(crc32(s->crc, out, *produced));
    s->unc_left -= *produced;
    if (s->unc_left == 0) *ended = true;
    return true;
}

bool ZipEntryDataEndsHere(ZipReaderState* s) {
    if (s->method != 8 || s->stream_ended) return true;
    // The stream gave exactly the declared size without saying it ended: one
    // more byte of output room shows whether it would give more. A stream cut
    // or damaged after the declared bytes gives nothing more and is judged
    // by its CRC-32 as before.
    z_stream& z = s->stream;
    BYTE probe = 0;
    for (;;) {
        if (s->in_avail == 0 && s->comp_left > 0 && !Refill(s)) return true;
        z.next_in = s->in_next;
        z.avail_in = s->in_avail;
        z.next_out = &probe;
        z.avail_out = 1;
        const int rc = inflate(&z, Z_SYNC_FLUSH);
        s->in_next = z.next_in;
        s->in_avail = z.avail_in;
        if (z.avail_out == 0) return false;
        if (rc != Z_OK) return true;  // the end, no progress possible, or damage
        if (s->in_avail == 0 && s->comp_left == 0) return true;
    }
}

void ZipCloseEntryData(ZipReaderState* s) {
    if (s->inflating) inflateEnd(&s->stream);
    s->inflating = false;
    std::free(s->in_buf);
    s->in_buf = nullptr;
    s->in_next = nullptr;
    s->in_avail = 0;
    s->entry_open = false;
}
