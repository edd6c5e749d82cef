#!/usr/bin/env python3
"""quillon-sim as a CI job uses it: runs side by side in one TMPDIR, exit
codes and summary lines that tell the outcome, one clear line for each bad
input, one timeline in the transcript, the tool's command line, drives that
come and go.
   check_sim_runs.py QUILLON_SIM DEFAULT_PACKAGE_ZIP"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

SIM, PACKAGE = sys.argv[1], sys.argv[2]
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
with open(os.path.join(ROOT, "platform", "sim", "machines", "default.json")) as f:
    DEFAULT_MACHINE = json.load(f)


def default_machine_with(path, first_drive=None, faults=None):
    """The default machine, its first drive (the native one the default script updates) changed."""
    machine = json.loads(json.dumps(DEFAULT_MACHINE))
    machine["drives"][0].update(first_drive or {})
    if faults:
        machine["faults"] = faults
    return write(path, json.dumps(machine))
ENV = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
DEFAULT_LINT = "quillon-sim: warning: default package: lint "


def write(path, text, mode="w"):
    with open(path, mode) as f:
        f.write(text)
    return path

failures = []


def check(name, condition, detail=""):
    if not condition:
        failures.append(name)
        print(f"FAIL {name}: {detail}")
    else:
        print(f"ok   {name}")




def events_of(path):
    with open(path) as f:
        return [json.loads(line) for line in f if line.strip()]


def start(tmp, args, script=None, name="run"):
    cmd = [SIM] + args
    if script is not None:
        cmd += ["--script", write(os.path.join(tmp, name + ".script"), script)]
    return subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            env=dict(ENV, TMPDIR=tmp))


def run(tmp, args, script=None, name="run"):
    proc = start(tmp, args, script, name)
    out, err = proc.communicate(timeout=180)
    return proc.returncode, out, err


with tempfile.TemporaryDirectory() as tmp:
    # 1. Eight runs at once in one TMPDIR, each with a package of its own
    # (the default package with its own zip comment) and its own transcript.
    shared = os.path.join(tmp, "shared")
    os.mkdir(shared)
    procs = []
    for i in range(8):
        own = os.path.join(tmp, f"package{i}.zip")
        with open(PACKAGE, "rb") as src:
            data = bytearray(src.read())
        comment = f"run {i}".encode()
        data[-2:] = len(comment).to_bytes(2, "little")  # the end record's comment length
        write(own, bytes(data) + comment, "wb")
        transcript = os.path.join(tmp, f"t{i}.jsonl")
        procs.append((start(shared, ["--keep-temp", "--package", own, "--transcript", transcript]), transcript))
    work_folders = set()
    for i, (proc, transcript) in enumerate(procs):
        out, err = proc.communicate(timeout=300)
        ev = events_of(transcript)
        results = [e["code"] for e in ev if e["event"] == "result"]
        check(f"parallel run {i} succeeds", proc.returncode == 0 and results == [1], err[-300:] + str(results))
        work_folders.update(line.split(": ", 1)[1] for line in out.splitlines()
                            if line.startswith("temporary folder kept: "))
    check("each run worked in a folder of its own under TMPDIR", len(work_folders) == 8 and
          all(os.path.dirname(f) == shared and os.path.isdir(os.path.join(f, "Quillon")) for f in work_folders),
          str(sorted(work_folders)))
    for folder in work_folders:
        shutil.rmtree(folder, ignore_errors=True)
    check("nothing else written to the shared TMPDIR", os.listdir(shared) == [], str(os.listdir(shared)))
    code, out, err = run(shared, [], name="plain")
    check("without --keep-temp the private folder goes", code == 0 and os.listdir(shared) == [], str(os.listdir(shared)))

    # 2. --keep-temp keeps the private folder and says where it is.
    code, out, err = run(tmp, ["--keep-temp"], name="keep")
    kept = [line.split(": ", 1)[1] for line in out.splitlines() if line.startswith("temporary folder kept: ")]
    check("--keep-temp names the folder", code == 0 and len(kept) == 1 and os.path.isdir(kept[0]), out[-300:])
    if kept:
        check("kept folder is under TMPDIR and holds the tool's Quillon folder",
              os.path.dirname(kept[0]) == tmp and os.path.isdir(os.path.join(kept[0], "Quillon")), kept[0])
        shutil.rmtree(kept[0], ignore_errors=True)

    # 3. A failed update exits 3 and says so; the boxes carry their answers.
    machine = default_machine_with(os.path.join(tmp, "fail.json"), faults=[
        {"drive": "vx500-512", "ioctl": "0x002DDC04", "nth": 1, "every": True, "fail": "win32", "error": 31}])
    code, out, err = run(tmp, ["--machine", machine, "--transcript", os.path.join(tmp, "fail.jsonl")], name="fail")
    check("failed update exits 3", code == 3, f"{code} {err[-300:]}")
    check("result line names the code and the box", "result: -" in out and "(Update FW Fail !)" in out, out[-500:])
    check("boxes show the answer given", "-> yes" in out and "-> ok" in out, out[-500:])
    check("summary line", "updates: 1 ended, 1 failed" in out, out[-300:])
    code, out, err = run(tmp, [], name="ok")
    check("a good update exits 0 with result: 1", code == 0 and "result: 1" in out and "updates: 1 ended, 0 failed" in out,
          out[-300:])

    # 4. Bad inputs: one line naming the file, non-zero exit, no crash.
    folder = os.path.join(tmp, "folder")
    os.mkdir(folder)
    empty = write(os.path.join(tmp, "empty.zip"), "")
    notzip = write(os.path.join(tmp, "notzip.zip"), "hello, this is text\n" * 10)
    with open(PACKAGE, "rb") as src:
        whole = src.read()
    cut = write(os.path.join(tmp, "cut.zip"), whole[:len(whole) // 2], "wb")
    bad_script = write(os.path.join(tmp, "bad.script"), "# pick\nselect one\n")
    cases = [
        (["--package", folder], f"{folder}: is a directory"),
        (["--package", empty], f"{empty}: empty file"),
        (["--package", notzip], f"{notzip}: not a zip archive ("),
        (["--package", cut], f"{cut}: truncated ("),
        (["--script", folder], f"{folder}: is a directory"),
        (["--machine", empty], f"{empty}: empty file"),
        (["--machine", folder], f"{folder}: is a directory"),
        (["--script", bad_script], f"{bad_script}:2: select: not a number: one"),
        (["--transcript", folder], f"{folder}: is a directory"),
        (["--transcript", os.path.join(tmp, "no", "such", "t.jsonl")], "t.jsonl: cannot write ("),
        (["--transcript", "/dev/full"], "/dev/full: write failed ("),
    ]
    for args, expected in cases:
        code, out, err = run(tmp, args, name="bad")
        # The default package's own lint findings come once the inputs are accepted.
        lines = [line for line in err.splitlines() if line.strip() and not line.startswith(DEFAULT_LINT)]
        check(f"{' '.join(args)[-40:]}: one clear line, exit 1",
              code == 1 and len(lines) == 1 and expected in lines[0], f"{code} {err[-300:]}")
    code, out, err = run(tmp, ["--script", write(os.path.join(tmp, "gone.script"), "select 7\n")], name="gone")
    check("a step that cannot be done names its line", code == 1 and ":1: select: could not be done" in err, err)

    # 5. One timeline: requests between the events they caused, at their own time.
    transcript = os.path.join(tmp, "timeline.jsonl")
    code, out, err = run(tmp, ["--debug", "--requests", "--transcript", transcript], name="timeline")
    ev = events_of(transcript)
    ticks = [e["t"] for e in ev]
    check("timeline: time never goes back", ticks == sorted(ticks), "")
    kinds = [e["event"] for e in ev]
    first_box = kinds.index("msgbox")
    result = kinds.index("result")
    downloads = [i for i, e in enumerate(ev) if e["event"] == "request" and e["ioctl"] == "0x002DDC04"]
    check("timeline: downloads come after the confirmation and before the result",
          downloads and first_box < downloads[0] and downloads[-1] < result, f"{first_box} {downloads[:1]} {result}")
    logs_between = [e for e in ev[downloads[0]:downloads[-1]] if e["event"] == "log"] if downloads else []
    progress_between = [e for e in ev[downloads[0]:downloads[-1]] if e["event"] == "progress"] if downloads else []
    check("timeline: progress interleaves with the download requests", len(progress_between) > 1, "")
    check("timeline: log lines interleave with requests", any(e["event"] == "request" for e in ev[:first_box]) and
          any(e["event"] == "log" for e in ev[:first_box]), "")
    request_ticks = [e["t"] for e in ev if e["event"] == "request"]
    waits = [b - a for a, b in zip(request_ticks, request_ticks[1:])]
    check("timeline: a wait between requests shows in their times", waits and max(waits) >= 1000, str(max(waits or [0])))
    reqs = [e for e in ev if e["event"] == "request"]
    fields = {"path", "ioctl", "input", "data_out", "data_in", "return", "last_error", "output", "returned", "drive"}
    check("request events keep the old fields and add output/returned",
          reqs and all(fields <= set(e) for e in reqs), str(reqs[:1])[:300])
    check("returned counts the output bytes",
          all(e["returned"] * 2 == len(e["output"]) for e in reqs), "")
    check("exit last", kinds[-1] == "exit", "")

    # 6. The tool's command line, verbatim.
    for args, expected in ((["--command-line", "/debug"], True), (["--command-line", ""], False),
                           (["--debug", "--command-line", "/nodebug"], False)):
        code, out, err = run(tmp, args, name="cmd")
        printed = "debug: " in out
        check(f"command line {args}: the tool logs = {expected}", code == 0 and printed == expected, err[-300:])

    # 7. A drive pulled before RUN: the tool finds it gone; plugged back, it updates.
    script = "select 0\nunplug vx500-512\nanswer yes\nrun\nwait\nplug vx500-512\nsleep 1\nanswer yes\nrun\nwait\nclose\n"
    transcript = os.path.join(tmp, "unplug.jsonl")
    code, out, err = run(tmp, ["--transcript", transcript, "--requests"], script, name="unplug")
    results = [e["code"] for e in events_of(transcript) if e["event"] == "result"]
    check("unplugged drive: the first update fails, the second succeeds", code == 3 and len(results) == 2 and
          results[0] != 1 and results[1] == 1, f"{code} {results} {err[-300:]}")
    code, out, err = run(tmp, [], "unplug nosuch\n", name="nosuch")
    check("unplug of an unknown drive names it", code == 1 and "no drive named nosuch" in err, err)

    # 8. A drive that vanishes in the middle of the download, with no request failing before it.
    mine = [e for e in ev if e["event"] == "request" and e["drive"] == "vx500-512"]
    first_download = next(i for i, e in enumerate(mine) if e["ioctl"] == "0x002DDC04")
    leave_after = first_download + 2  # it answers the second piece, then leaves
    machine = default_machine_with(os.path.join(tmp, "vanish.json"), {"leave_after": {"requests": leave_after}})
    transcript = os.path.join(tmp, "vanish.jsonl")
    code, out, err = run(tmp, ["--machine", machine, "--transcript", transcript, "--requests"], name="vanish")
    ev = events_of(transcript)
    reqs = [e for e in ev if e["event"] == "request" and e["drive"] == "vx500-512"]
    first_fail = next((i for i, e in enumerate(reqs) if not e["return"]), None)
    check("vanishing drive: the request after its last answer is the first to fail, with 55",
          first_fail == leave_after and reqs[first_fail]["last_error"] == 55, f"{first_fail} {leave_after}")
    results = [e["code"] for e in ev if e["event"] == "result"]
    check("vanishing drive: the update fails and the run exits 3", code == 3 and len(results) == 1 and results[0] != 1,
          f"{code} {results} {err[-200:]}")
    check("vanishing drive: nothing is activated", not any(e["ioctl"] == "0x002DDC08" for e in reqs), "")

    # 9. The package lint before the tool starts: its findings warn on stderr,
    # the run goes on, and its scratch copy is gone before the tool runs.
    import zipfile
    linty = os.path.join(tmp, "linty.zip")
    with zipfile.ZipFile(PACKAGE) as src, zipfile.ZipFile(linty, "w", zipfile.ZIP_DEFLATED) as dst:
        for info in src.infolist():
            data = src.read(info.filename)
            if info.filename == "QuillonInfo.ini":
                text = data.decode("ascii")
                nl = "\r\n" if "\r\n" in text else "\n"
                text = text.replace("[UPDATEINFO]", "[UPDATEINFO]" + nl + "PowerCtl=1", 1)
                data = text.replace("[NandMap]", "[NandMap]" + nl + "XYZ_1=nothing.bin", 1).encode("ascii")
            dst.writestr(info, data)
    code, out, err = run(tmp, ["--keep-temp", "--package", linty], name="linty")
    warned = [line for line in err.splitlines() if line.startswith(f"quillon-sim: warning: {linty}: lint ")]
    check("lint findings of --package warn on stderr and the update still runs",
          code == 0 and "result: 1" in out and len(warned) == 4 and
          any("lint warning: UPDATEINFO: key PowerCtl is not one the tool reads" in w for w in warned) and
          any("lint error: NandMap: key XYZ_1 is neither 12 nor 10 hex digits" in w for w in warned),
          f"{code} {err[-600:]}")
    check("lint findings stay off stdout", "lint" not in out, out[-300:])
    kept = [line.split(": ", 1)[1] for line in out.splitlines() if line.startswith("temporary folder kept: ")]
    check("the lint leaves no scratch copy in the run's temporary folder",
          len(kept) == 1 and not [n for n in os.listdir(kept[0]) if n.startswith("quillon-lint")],
          str(os.listdir(kept[0]) if kept else out[-300:]))
    for folder in kept:
        shutil.rmtree(folder, ignore_errors=True)
    code, out, err = run(tmp, ["--package", PACKAGE], name="cleanpkg")
    check("the default package as --package: no finding but its placeholder warning",
          code == 0 and [line.split(": lint ", 1)[1] for line in err.splitlines()] ==
          ["warning: NandMap: 453C98B37672_1=NONE names no file in the package (a placeholder: such drives are refused)"],
          err[-600:])
    code, out, err = run(tmp, [], name="default-lint")
    check("a default run lints the embedded package: stderr holds only its findings",
          code == 0 and err.strip() and all(line.startswith(DEFAULT_LINT) for line in err.splitlines()), err[-600:])
    broken = os.path.join(tmp, "noini.zip")
    with zipfile.ZipFile(PACKAGE) as src, zipfile.ZipFile(broken, "w") as dst:
        for info in src.infolist():
            if info.filename != "QuillonInfo.ini":
                dst.writestr(info, src.read(info.filename))
    code, out, err = run(tmp, ["--package", broken], name="noini")
    check("a package the tool refuses is still rehearsed after its lint error",
          "lint error: QuillonInfo.ini is missing" in err and "title: Package Error" in out, f"{code} {err[-300:]}")

    # 10. A list entry names its drive by the physical drive number, not by
    # its place in the list or in the tool's enumeration.
    machine = default_machine_with(os.path.join(tmp, "numbered.json"), {"number": 7})
    code, out, err = run(tmp, ["--machine", machine], "close\n", name="numbered")
    entries = [line for line in out.splitlines() if line.lstrip(" *").startswith("[")]
    check("list entries carry the physical drive number",
          code == 0 and any("[C: ]" in e and e.endswith("(drive 7)") for e in entries) and
          any("1TB" in e and e.endswith("(drive 1)") for e in entries), "\n".join(entries))

print(f"{'FAILED' if failures else 'PASSED'}: {len(failures)} failure(s)")
sys.exit(1 if failures else 0)
