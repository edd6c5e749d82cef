#!/usr/bin/env python3
"""quillon-sim running a SATA package on the default machine: the package is
made here from tests/quillon-sim/sata_package (quillon-tool image make, the
default package's zip script, quillon-tool package lint), then the whole
tool runs headless and the transcript is checked.
   check_sata_package.py QUILLON_SIM QUILLON_TOOL REPO_ROOT"""
import json
import os
import subprocess
import sys
import tempfile

SIM, TOOL, ROOT = sys.argv[1], sys.argv[2], sys.argv[3]
SRC = os.path.join(ROOT, "tests", "quillon-sim", "sata_package")
ENV = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
failures = []


def check(name, condition, detail=""):
    if not condition:
        failures.append(name)
        print(f"FAIL {name}: {detail}")
    else:
        print(f"ok   {name}")


def dedupe(seq):
    return [v for i, v in enumerate(seq) if i == 0 or seq[i - 1] != v]


with tempfile.TemporaryDirectory() as tmp:
    image = os.path.join(tmp, "VS300_T3.bin")
    subprocess.run([TOOL, "image", "make", image, "--firmware", os.path.join(SRC, "VS300_T3.txt"),
                    "--config-version", "VS3A0100", "--version", "5E6F7A9C", "--build", "0x00002233"],
                   check=True, env=ENV)
    package = os.path.join(tmp, "sata_package.zip")
    subprocess.run([sys.executable, os.path.join(ROOT, "res", "package", "make_package_zip.py"), package,
                    os.path.join(SRC, "QuillonInfo.ini"), image], check=True)
    lint = subprocess.run([TOOL, "package", "lint", package], capture_output=True, text=True, env=ENV)
    check("the SATA package passes lint", lint.returncode == 0, lint.stdout + lint.stderr)

    transcript = os.path.join(tmp, "t.jsonl")
    script = os.path.join(tmp, "script.txt")
    with open(script, "w") as f:
        f.write("select 0\nanswer yes\nrun\nwait\nclose\n")
    run_dir = os.path.join(tmp, "run")
    os.mkdir(run_dir)
    proc = subprocess.run([SIM, "--debug", "--package", package, "--transcript", transcript, "--script", script],
                          capture_output=True, text=True, timeout=120, env=dict(os.environ, TMPDIR=run_dir))
    check("quillon-sim exits 0", proc.returncode == 0, proc.stderr[-400:])
    with open(transcript) as f:
        ev = [json.loads(line) for line in f if line.strip()]

    lists = [e for e in ev if e["event"] == "list"]
    check("only the SATA drive is listed", lists and lists[0]["entries"] == ["VELQORAX VS300 256GB (RAW)"], str(lists[:1]))
    results = [e["code"] for e in ev if e["event"] == "result"]
    check("one result, success", results == [1], str(results))
    positions, seen_box = [], False
    for e in ev:
        if e["event"] == "msgbox" and not seen_box:
            seen_box = True
        elif e["event"] == "result":
            break
        elif seen_box and e["event"] == "progress":
            positions.append(e["position"])
    marks = dedupe([p for p in positions if p >= 40])
    check("download steps inside 0..40, rising", positions and positions[0] == 0 and
          all(a <= b for a, b in zip(positions, positions[1:])), str(positions))
    check("stage positions of a SATA update", marks == [40, 46, 53, 60, 80, 100], str(positions))
    logs = [e["text"] for e in ev if e["event"] == "log"]
    check("the download ran", any("DISKLIB_SATA_Quillon Success OUT" in t for t in logs), "")
    check("found again at its port", any("GetDiskInfoByPortID Success OUT" in t for t in logs), "")
    infos = [e for e in ev if e["event"] == "info"]
    check("firmware line shows the image version afterwards", infos and infos[-1]["lines"][3] == "5E6F7A9C",
          str(infos[-1:]))

    # The drive leaves on the commit itself (leaves_on_commit) and comes back:
    # at its port the tool finds it again; at another PathId it does not.
    with open(os.path.join(ROOT, "platform", "sim", "machines", "default.json")) as f:
        machine = json.load(f)
    sata = next(d for d in machine["drives"] if d["name"] == "vs300-sata")
    for moved in (False, True):
        sata["leaves_on_commit"] = True
        sata["on_activate"] = {"gone_seconds": 3}
        if moved:
            sata["on_activate"]["moves_to"] = {"path_id": 5}
        machine_file = os.path.join(tmp, "machine.json")
        with open(machine_file, "w") as f:
            json.dump(machine, f)
        proc = subprocess.run([SIM, "--debug", "--package", package, "--machine", machine_file, "--transcript",
                               transcript, "--script", script, "--requests"],
                              capture_output=True, text=True, timeout=120, env=dict(os.environ, TMPDIR=run_dir))
        with open(transcript) as f:
            ev = [json.loads(line) for line in f if line.strip()]
        results = [e["code"] for e in ev if e["event"] == "result"]
        stale = [e for e in ev if e["event"] == "request" and e["last_error"] == 55]
        # The tool goes on with the handle it opened before the commit, so
        # the update ends with a failure either way; the run says so.
        check(f"left on commit (moved {moved}): one result, not 1, exit 3",
              proc.returncode == 3 and len(results) == 1 and results[0] != 1, f"{proc.returncode} {results}")
        check(f"left on commit (moved {moved}): the old handle went stale", len(stale) > 0, "")

print(f"{'FAILED' if failures else 'PASSED'}: {len(failures)} failure(s)")
sys.exit(1 if failures else 0)
