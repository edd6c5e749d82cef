// quillon-bench crc [MIB] [ROUNDS]
//
// Throughput of the image checksums against zlib's crc32 over one buffer of
// firmware-like bytes. Every round times each routine once, in turn, so a
// busy neighbour slows all of them alike; the medians of the rounds and the
// median of each round's ratio are printed. Times are this thread's CPU time,
// which a shared machine disturbs less than the wall clock.
#include <zlib.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "package/crc32c.h"
#include "package/image.h"

namespace {

double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Routine {
    const char* name;
    uint32_t (*run)(const uint8_t* data, size_t size);
    uint32_t check;     // of "123456789"
    std::vector<double> seconds;
};

uint32_t Zlib(const uint8_t* d, size_t n) {
    uLong c = 0;
    for (size_t done = 0; done < n;) {
        uInt part = uInt(std::min<size_t>(n - done, 1u << 30));
        c = crc32(c, d + done, part);
        done += part;
    }
    return uint32_t(c);
}
uint32_t Image32(const uint8_t* d, size_t n) { return ImageCrc(d, n, 0, 0); }
uint32_t Image32c(const uint8_t* d, size_t n) { return ImageCrc(d, n, 0, 1); }
uint32_t Tables(const uint8_t* d, size_t n) { return Crc32cTables(d, n, 0); }
uint32_t Hardware(const uint8_t* d, size_t n) { return Crc32cHardware(d, n, 0); }

int Crc(size_t mib, int rounds) {
    std::vector<uint8_t> buf(mib << 20);
    // Half noise, half structure per 4 KiB page, as firmware images are.
    std::mt19937 rng(1);
    for (size_t page = 0; page < buf.size(); page += 4096)
        for (size_t i = 0; i < 4096 && page + i < buf.size(); ++i)
            buf[page + i] = i < 2048 ? uint8_t(rng()) : uint8_t("0123456789ABCDEF"[(page >> (4 * (i % 8))) & 15]);

    std::vector<Routine> routines = {
        {"zlib crc32", Zlib, 0xCBF43926u, {}},
        {"CRC-32 (ImageCrc)", Image32, 0xCBF43926u, {}},
        {"CRC-32C (ImageCrc)", Image32c, 0xE3069283u, {}},
        {"CRC-32C tables", Tables, 0xE3069283u, {}},
    };
    if (Crc32cHardwarePresent()) routines.push_back({"CRC-32C SSE4.2", Hardware, 0xE3069283u, {}});
    for (const Routine& r : routines) {
        if (r.run(reinterpret_cast<const uint8_t*>("123456789"), 9) != r.check) {
            fprintf(stderr, "quillon-bench: %s gives a wrong check value\n", r.name);
            return 1;
        }
    }
    // One warm-up pass each (caches, pages), whose results are the ones every
    // timed pass must give again.
    std::vector<uint32_t> want;
    for (Routine& r : routines) want.push_back(r.run(buf.data(), buf.size()));
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < routines.size(); ++i) {
            double t0 = ThreadSeconds();
            uint32_t got = routines[i].run(buf.data(), buf.size());
            routines[i].seconds.push_back(ThreadSeconds() - t0);
            if (got != want[i] || got != want[routines[i].check == routines[0].check ? 0 : 2]) {
                fprintf(stderr, "quillon-bench: %s gave %08X over the buffer\n", routines[i].name, got);
                return 1;
            }
        }
    }
    printf("crc: %zu MiB buffer, %d rounds interleaved, medians of this thread's CPU time (SSE4.2 %s)\n", mib, rounds,
           Crc32cHardwarePresent() ? "present" : "absent");
    const std::vector<double>& base = routines[0].seconds;
    for (const Routine& r : routines) {
        std::vector<double> ratios;
        for (int i = 0; i < rounds; ++i) ratios.push_back(base[i] / r.seconds[i]);
        printf("  %-20s %6.2f GB/s  %5.2fx zlib crc32\n", r.name, double(buf.size()) / Median(r.seconds) / 1e9,
               Median(ratios));
    }
    printf("  checksums of the buffer: CRC-32 %08X, CRC-32C %08X\n", want[0], want[2]);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "crc") == 0) {
        size_t mib = argc >= 3 ? size_t(std::strtoul(argv[2], nullptr, 10)) : 64;
        int rounds = argc >= 4 ? std::atoi(argv[3]) : 7;
        if (mib == 0 || mib > 4096 || rounds < 1 || rounds > 1000) {
            fprintf(stderr, "quillon-bench: crc MIB (1-4096) ROUNDS (1-1000)\n");
            return 2;
        }
        return Crc(mib, rounds);
    }
    fprintf(stderr, "usage: quillon-bench crc [MIB] [ROUNDS]\n");
    return 2;
}
