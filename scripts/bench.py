#!/usr/bin/env python3
"""The benchmark behind scripts/bench.sh (which builds the Release tree first).
   bench.py REPO_ROOT BUILD_DIR
Every measurement pairs the things compared and runs them interleaved, round
after round, so a busy neighbour on a shared machine slows both alike; each
line prints the medians of the rounds. CPU is user + system time of the child
process (os.wait4), peak RSS its ru_maxrss."""
import json
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT, OUT = sys.argv[1], sys.argv[2]
ROUNDS = max(5, int(os.environ.get("BENCH_ROUNDS", "5")))
VALGRIND = shutil.which("valgrind") if os.environ.get("BENCH_VALGRIND", "1") != "0" else None
TOOL = os.path.join(OUT, "tools", "quillon-tool", "quillon-tool")
SIM = os.path.join(OUT, "tools", "quillon-sim", "quillon-sim")
BENCH = os.path.join(OUT, "tools", "quillon-bench", "quillon-bench")
DEFAULT_ZIP = os.path.join(OUT, "res", "package", "quillon_default_package.zip")
MIB = 1 << 20


def run(cmd, cwd=None):
    """Runs cmd with its output discarded; (wall s, user+sys s, peak RSS KiB, sys s)."""
    t0 = time.perf_counter()
    proc = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - t0
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit("bench: %s exited %d" % (" ".join(cmd), proc.returncode))
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, usage.ru_stime


def instructions(cmd):
    """Instructions the program runs, by callgrind (None without valgrind)."""
    if not VALGRIND:
        return None
    proc = subprocess.run([VALGRIND, "--tool=callgrind", "--callgrind-out-file=/dev/null"] + cmd,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    m = re.search(r"Collected : (\d+)", proc.stderr)
    if proc.returncode != 0 or not m:
        sys.exit("bench: callgrind run of %s failed:\n%s" % (" ".join(cmd), proc.stderr[-800:]))
    return int(m.group(1))


def med(values):
    return statistics.median(values)


def firmware_like(path, size, seed):
    """Half noise, half structure per 4 KiB page: compresses roughly as firmware does."""
    r = random.Random(seed)
    with open(path, "wb") as f:
        for page in range(0, size, 4096):
            block = r.randbytes(2048) + (b"%08X" % page) * 256
            f.write(block[: min(4096, size - page)])


def zip_dir(src, out):
    subprocess.run(["zip", "-q", "-r", "-6", out, "."], cwd=src, check=True)


# ---- extraction against unzip -------------------------------------------------

def extraction(work):
    mixed_src = os.path.join(work, "mixed")
    os.makedirs(os.path.join(mixed_src, "small"))
    for i in range(3):
        firmware_like(os.path.join(mixed_src, "fw_%d.bin" % i), 16 * MIB, i)
    r = random.Random(9)
    for i in range(2048):  # 16 MiB in small files: texts and tables of a few KiB
        with open(os.path.join(mixed_src, "small", "part_%04d.dat" % i), "wb") as f:
            f.write(r.randbytes(4096) + (b"entry %06d\n" % i) * 372)
    mixed = os.path.join(work, "mixed.zip")
    zip_dir(mixed_src, mixed)
    print("extraction (wall and CPU, medians of %d interleaved rounds; ratio = quillon-tool / unzip, per round)" % ROUNDS)
    # The default package is a few KiB: one sample is 20 runs in a row, or
    # the start of a process would be all that is measured, and barely.
    for name, package, repeat in (("mixed 64 MiB", mixed, 1), ("default package", DEFAULT_ZIP, 20)):
        out = os.path.join(work, "out")
        ours, theirs = [], []

        def sample(cmd):
            runs = []
            for _ in range(repeat):
                shutil.rmtree(out, ignore_errors=True)
                runs.append(run(cmd))
            return tuple(sum(r[i] for r in runs) for i in range(2))

        for rnd in range(ROUNDS):
            order = [0, 1] if rnd % 2 == 0 else [1, 0]
            for which in order:
                if which == 0:
                    ours.append(sample([TOOL, "package", "extract", package, out]))
                    if rnd == 0 and repeat == 1:
                        subprocess.run(["diff", "-rq", mixed_src, out], check=True, stdout=subprocess.DEVNULL)
                else:
                    theirs.append(sample(["unzip", "-q", "-o", package, "-d", out]))
        wall = med([a[0] / b[0] for a, b in zip(ours, theirs)])
        cpu = med([a[1] / max(b[1], 1e-4) for a, b in zip(ours, theirs)])
        print("  %-16s %8d bytes  quillon-tool %.3f s (cpu %.3f)  unzip %.3f s (cpu %.3f)  ratio wall %.2fx  cpu %.2fx%s"
              % (name, os.path.getsize(package), med([a[0] for a in ours]), med([a[1] for a in ours]),
                 med([b[0] for b in theirs]), med([b[1] for b in theirs]), wall, cpu,
                 "  (times of %d runs)" % repeat if repeat > 1 else ""))


# ---- checksums ----------------------------------------------------------------

def checksums():
    proc = subprocess.run([BENCH, "crc", "64", str(max(ROUNDS, 7))], check=True, capture_output=True, text=True)
    print(proc.stdout, end="")


# ---- simulated updates and start-up -------------------------------------------

def package(work, kind, image_mib):
    """A package with one image of image_mib MiB for the default machine's
    native NVMe drive (kind nvme) or its SATA drive (kind sata)."""
    folder = os.path.join(work, "%s_%d" % (kind, image_mib))
    os.makedirs(folder)
    if kind == "nvme":
        ini = os.path.join(ROOT, "res", "package", "QuillonInfo.ini")
        name, args = "VX500_B17A.bin", ["--config-version", "VX5A0100", "--version", "1A2B3C5E", "--build", "0x00012345"]
    else:
        ini = os.path.join(ROOT, "tests", "quillon-sim", "sata_package", "QuillonInfo.ini")
        name, args = "VS300_T3.bin", ["--config-version", "VS3A0100", "--version", "5E6F7A9C", "--build", "0x00002233"]
    firmware = os.path.join(folder, "firmware.bin")
    firmware_like(firmware, image_mib * MIB - 3 * 4096, image_mib)  # + header, configuration and trailer pages
    image = os.path.join(folder, name)
    subprocess.run([TOOL, "image", "make", image, "--firmware", firmware] + args, check=True, stdout=subprocess.DEVNULL)
    zip_path = os.path.join(work, "%s_%d.zip" % (kind, image_mib))
    subprocess.run([sys.executable, os.path.join(ROOT, "res", "package", "make_package_zip.py"), zip_path, ini, image],
                   check=True)
    return zip_path, os.path.getsize(image)


def machine(work, drives):
    """The default machine cut to 1 drive, as it is (5), or four times over (20)."""
    with open(os.path.join(ROOT, "platform", "sim", "machines", "default.json")) as f:
        desc = json.load(f)
    base = desc["drives"]
    if drives <= len(base):
        desc["drives"] = base[:drives]
        kept = {d["name"] for d in desc["drives"]}
        desc["volumes"] = [v for v in desc.get("volumes", []) if v["drive"] in kept]
    else:
        copies = []
        for k in range(drives // len(base)):
            for d in base:
                d = json.loads(json.dumps(d))
                d["name"] = "%s-%d" % (d["name"], k)
                d["number"] = d["number"] + len(base) * k
                if "serial" in d:
                    d["serial"] = d["serial"][:-2] + "%02d" % k
                if "pci" in d and "controller_id" not in d["pci"]:
                    d["pci"]["controller_bus"] += 10 * k
                if "pci" in d and "controller_id" in d["pci"]:
                    d["pci"]["controller_id"] = d["pci"]["controller_id"][:-2] + "%02X" % (0xB0 + 16 * k + int(d["pci"]["controller_id"][-1], 16))
                if "scsi" in d:
                    d["scsi"]["port"] += 10 * k
                if "usb" in d:
                    d["usb"]["location"] = "Port_#%04d.Hub_#0002" % (3 + k)
                for event in ("on_activate", "on_power_cycle"):
                    if "returns_as" in d.get(event, {}):
                        d[event]["returns_as"] += 20 * (k + 1)
                copies.append(d)
        desc["drives"] = copies
        desc["volumes"] = [dict(v, drive=v["drive"] + "-0") for v in desc.get("volumes", [])]
    path = os.path.join(work, "machine_%d.json" % drives)
    with open(path, "w") as f:
        json.dump(desc, f, indent=1)
    return path


def script(work, name, lines):
    path = os.path.join(work, name)
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    return path


def check_update(work, cmd):
    """One untimed run with a transcript: the update must end with result 1."""
    transcript = os.path.join(work, "check.jsonl")
    subprocess.run(cmd + ["--transcript", transcript], check=True, stdout=subprocess.DEVNULL)
    with open(transcript) as f:
        results = [json.loads(line).get("code") for line in f if '"result"' in line]
    if results != [1]:
        sys.exit("bench: %s did not update (results %s)" % (" ".join(cmd), results))


def updates(work):
    update_script = script(work, "update.txt", ["select 0", "answer yes", "run", "wait", "close"])
    close_script = script(work, "close.txt", ["close"])
    cases = []
    for kind, mib in (("nvme", 4), ("nvme", 16), ("nvme", 32), ("sata", 4)):
        zip_path, image_bytes = package(work, kind, mib)
        update = [SIM, "--package", zip_path, "--script", update_script]
        startup = [SIM, "--package", zip_path, "--script", close_script]
        check_update(work, update)
        cases.append(dict(name="%s %d MiB" % (kind.upper(), mib), update=update, startup=startup,
                          image=image_bytes, runs=[], starts=[]))
    for _ in range(ROUNDS):
        for case in cases:
            case["starts"].append(run(case["startup"]))
            case["runs"].append(run(case["update"]))
    print("simulated updates (quillon-sim, default machine, first drive of the package; medians of %d interleaved rounds)"
          % ROUNDS)
    print("  %-12s %10s %12s %14s %16s %12s %14s" % ("update", "cpu", "start-up cpu", "beyond start",
                                                     "of it system", "peak RSS", "RSS goal"))
    for case in cases:
        cpu, start = med([r[1] for r in case["runs"]]), med([r[1] for r in case["starts"]])
        beyond = med([r[1] - s[1] for r, s in zip(case["runs"], case["starts"])])
        beyond_sys = med([r[3] - s[3] for r, s in zip(case["runs"], case["starts"])])
        rss = med([r[2] for r in case["runs"]]) / 1024
        goal = 2 * case["image"] / MIB + 16
        print("  %-12s %8.1f ms %9.1f ms %11.1f ms %13.1f ms %8.1f MiB %9.1f MiB %s"
              % (case["name"], cpu * 1e3, start * 1e3, beyond * 1e3, beyond_sys * 1e3, rss, goal,
                 "ok" if rss <= goal else "over"))
    if VALGRIND:
        print("  instructions (callgrind, one run each):")
        for case in cases:
            total, base = instructions(case["update"]), instructions(case["startup"])
            print("  %-12s %13d update %13d start-up  %6.2f per image byte"
                  % (case["name"], total, base, (total - base) / case["image"]))


def recording(work):
    """The recorder's overhead: the same update without and with --record
    (and --record-full, which also keeps the image pieces), interleaved."""
    update_script = script(work, "record_update.txt", ["select 0", "answer yes", "run", "wait", "close"])
    zip_path, image_bytes = package(work, "nvme", 4)
    trace = os.path.join(work, "trace.jsonl")
    plain = [SIM, "--package", zip_path, "--script", update_script]
    cases = [("without", plain), ("--record", plain + ["--record", trace]),
             ("--record-full", plain + ["--record-full", trace])]
    check_update(work, plain)
    times = {name: [] for name, _ in cases}
    sizes = {}
    for _ in range(ROUNDS):
        for name, cmd in cases:
            times[name].append(run(cmd))
            if os.path.exists(trace):
                sizes[name] = os.path.getsize(trace)
                os.remove(trace)
    print("recording (quillon-sim, the NVMe 4 MiB update, without and with a trace; medians of %d interleaved rounds)"
          % ROUNDS)
    base = times["without"]
    for name, cmd in cases:
        t = times[name]
        ratio = med([r[1] / b[1] for r, b in zip(t, base)])
        line = "  %-14s cpu %7.1f ms  wall %7.1f ms  peak RSS %5.1f MiB  cpu ratio %5.2fx" % (
            name, med([r[1] for r in t]) * 1e3, med([r[0] for r in t]) * 1e3, med([r[2] for r in t]) / 1024, ratio)
        if name in sizes:
            line += "  trace %d bytes" % sizes[name]
        count = instructions(cmd)
        print(line + ("  %d instructions" % count if count else ""))
        if os.path.exists(trace):
            os.remove(trace)


def startup(work):
    close_script = script(work, "close_only.txt", ["close"])
    cases = [(n, [SIM, "--machine", machine(work, n), "--script", close_script]) for n in (1, 5, 20)]
    times = {n: [] for n, _ in cases}
    for _ in range(ROUNDS):
        for n, cmd in cases:
            times[n].append(run(cmd))
    print("start-up (quillon-sim, default package, script 'close'; medians of %d interleaved rounds)" % ROUNDS)
    for n, cmd in cases:
        line = "  %2d drives  cpu %6.1f ms  wall %6.1f ms  peak RSS %5.1f MiB" % (
            n, med([t[1] for t in times[n]]) * 1e3, med([t[0] for t in times[n]]) * 1e3,
            med([t[2] for t in times[n]]) / 1024)
        count = instructions(cmd)
        print(line + ("  %d instructions" % count if count else ""))


def main():
    for path in (TOOL, SIM, BENCH, DEFAULT_ZIP):
        if not os.path.exists(path):
            sys.exit("bench: %s is missing (scripts/bench.sh builds it)" % path)
    with open("/proc/cpuinfo") as f:
        cpu = next((line.split(":", 1)[1].strip() for line in f if line.startswith("model name")), "unknown CPU")
    print("machine: %s, %d CPUs, load average %s" % (cpu, os.cpu_count(), " ".join(
        "%.2f" % x for x in os.getloadavg())))
    work = tempfile.mkdtemp(prefix="quillon-bench-")
    try:
        # BENCH_PARTS picks some of them, in this order.
        steps = [("extraction", lambda: extraction(work)), ("checksums", checksums), ("updates", lambda: updates(work)),
                 ("startup", lambda: startup(work)), ("recording", lambda: recording(work))]
        parts = os.environ.get("BENCH_PARTS", ",".join(name for name, _ in steps)).split(",")
        for name, step in steps:
            if name in parts:
                step()
    finally:
        shutil.rmtree(work, ignore_errors=True)


main()
