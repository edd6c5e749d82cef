#!/usr/bin/env python3
"""End-to-end checks of quillon-sim, the main job: it runs the whole tool
headless on the simulated machine. Each case runs the executable, reads its
JSON-lines transcript and checks what a person would see."""
import json
import os
import subprocess
import sys
import tempfile

SIM = sys.argv[1]
failures = []


def run(args, script=None):
    with tempfile.TemporaryDirectory() as tmp:
        transcript = os.path.join(tmp, "t.jsonl")
        cmd = [SIM, "--transcript", transcript] + args
        if script is not None:
            path = os.path.join(tmp, "script.txt")
            with open(path, "w") as f:
                f.write(script)
            cmd += ["--script", path]
        env = dict(os.environ, TMPDIR=tmp)
        proc = subprocess.run(cmd, capture_output=True, text=True, timeout=120, env=env)
        events = []
        if os.path.exists(transcript):
            with open(transcript) as f:
                events = [json.loads(line) for line in f if line.strip()]
        # The run's own temporary folder (--keep-temp names it): what the tool left there.
        kept = [line.split(": ", 1)[1] for line in proc.stdout.splitlines() if line.startswith("temporary folder kept: ")]
        quillon = os.path.join(kept[0], "Quillon") if kept else None
        leftovers = os.listdir(quillon) if quillon and os.path.isdir(quillon) else None
        return proc, events, leftovers


def check(name, condition, detail=""):
    if not condition:
        failures.append(f"{name}: {detail}")
        print(f"FAIL {name}: {detail}")
    else:
        print(f"ok   {name}")


def positions_of_update(events):
    """Bar positions from the confirmation box to the result."""
    seen_box = False
    out = []
    for e in events:
        if e["event"] == "msgbox" and not seen_box:
            seen_box = True
            continue
        if e["event"] == "result":
            break
        if seen_box and e["event"] == "progress":
            out.append(e["position"])
    return out


def stage_marks(positions, download_end):
    """The positions after the download's own steps (those run up to download_end)."""
    i = 0
    while i < len(positions) and positions[i] < download_end:
        i += 1
    return positions[i:]


def dedupe(seq):
    return [v for i, v in enumerate(seq) if i == 0 or seq[i - 1] != v]


# 1. The default run: first drive (native NVMe), RUN, Yes, result, close.
proc, ev, left = run(["--keep-temp"])
check("default run exits 0", proc.returncode == 0, proc.stderr[-400:])
results = [e["code"] for e in ev if e["event"] == "result"]
check("one result, success", results == [1], str(results))
pos = positions_of_update(ev)
check("download steps stay inside 0..30 and rise", pos and pos[0] == 0 and all(a <= b for a, b in zip(pos, pos[1:])), str(pos))
check("stage positions of a native update", dedupe(stage_marks(pos, 30)) == [30, 33, 36, 40, 46, 53, 60, 70, 100], str(pos))
boxes = [e for e in ev if e["event"] == "msgbox"]
check("confirmation asked as yes/no and answered yes", boxes and boxes[0]["style"] & 0xF == 4 and boxes[0]["answer"] == 6, str(boxes[:1]))
infos = [e for e in ev if e["event"] == "info"]
check("firmware line shows the image version afterwards", infos and infos[-1]["lines"][3] == "1A2B3C5E", str(infos[-1:]))
lists = [e for e in ev if e["event"] == "list"]
check("drive still selected afterwards", lists and lists[-1]["selected"] == 0 and lists[-1]["run_enabled"], str(lists[-1:]))
check("exit event last with code 0", ev and ev[-1] == {"t": ev[-1]["t"], "event": "exit", "code": 0}, str(ev[-1:]))
check("work directory removed, Quillon kept", left == [], str(left))

# 2. The drive behind the ASMedia bridge gets the power cycle and its wait.
proc, ev, _ = run([], "select 1\nanswer yes\nrun\nwait\nclose\n")
pos = positions_of_update(ev)
check("bridged update succeeds", [e["code"] for e in ev if e["event"] == "result"] == [1], proc.stdout[-400:])
check("bridge positions 63, 66, 70 after 60", dedupe(stage_marks(pos, 30)) == [30, 33, 36, 40, 46, 53, 60, 63, 66, 70, 100], str(pos))

# 3. Answering No leaves the drive alone: no result, no device write.
proc, ev, _ = run(["--requests"], "select 0\nanswer no\nrun\nclose\n")
check("answer no: no result", [e for e in ev if e["event"] == "result"] == [], "")
reqs = [e for e in ev if e["event"] == "request"]
check("answer no: identification requests recorded", len(reqs) > 0, "")
writes = [e for e in ev if e["event"] == "request" and e.get("ioctl") in ("0x002DDC04", "0x002DDC08")]
check("answer no: no firmware download or activation", writes == [], str(writes[:1]))

# 4. With --debug the log lines appear, each with the log prefix.
proc, ev, _ = run(["--debug"])
logs = [e["text"] for e in ev if e["event"] == "log"]
check("debug log lines carry the prefix", logs and all(t.startswith("[VX]          [middle] ") for t in logs), str(logs[:1]))
check("debug log has the activation", any("DISKLIB_NVME_FWActive Success OUT" in t for t in logs), "")

# 5. A broken machine file is reported with its line, not a crash.
with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
    f.write('{\n  "drives": [\n    { "number": "zero" }\n  ]\n}\n')
    bad = f.name
proc = subprocess.run([SIM, "--machine", bad], capture_output=True, text=True, timeout=60)
os.unlink(bad)
msg = proc.stderr + proc.stdout
check("bad machine file: non-zero exit and file:line message", proc.returncode != 0 and (os.path.basename(bad) + ":3: ") in msg and proc.returncode < 128, msg[-300:])

# 6. Command-line conventions: --version, --option=value, --, -h, and each bad
# word named on stderr with exit 2 and nothing on stdout.
version = open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "res", "version.h")).read()
version = version.split('QN_VERSION_TEXT "')[1].split('"')[0]
proc = subprocess.run([SIM, "--version"], capture_output=True, text=True, timeout=60)
check("--version prints the VERSIONINFO version", (proc.returncode, proc.stdout, proc.stderr) == (0, f"quillon-sim {version}\n", ""),
      repr((proc.returncode, proc.stdout, proc.stderr)))
proc = subprocess.run([SIM, "-h"], capture_output=True, text=True, timeout=60)
check("-h prints the usage on stdout", proc.returncode == 0 and proc.stdout.startswith("usage: quillon-sim"), proc.stderr)
proc, ev, _ = run(["--debug", "--"])
check("a final -- runs as usual", proc.returncode == 0 and any(e["event"] == "log" for e in ev), proc.stderr[-300:])
with tempfile.TemporaryDirectory() as tmp:
    t = os.path.join(tmp, "t.jsonl")
    proc = subprocess.run([SIM, "--transcript=" + t], capture_output=True, text=True, timeout=120, env=dict(os.environ, TMPDIR=tmp))
    check("--transcript=FILE writes the transcript", proc.returncode == 0 and os.path.getsize(t) > 0, proc.stderr[-300:])
for args, message in [(["--frobnicate"], "unknown option: --frobnicate"), (["--debug=1"], "--debug takes no value"),
                      (["--machine"], "--machine needs a file"), (["--machine="], "--machine needs a file"),
                      (["--", "--debug"], "unexpected argument: --debug"), (["extra"], "unexpected argument: extra")]:
    proc = subprocess.run([SIM, *args], capture_output=True, text=True, timeout=60)
    check(f"bad arguments {args}", proc.returncode == 2 and proc.stdout == "" and
          proc.stderr.startswith(f"quillon-sim: {message}\nusage: quillon-sim"), repr((proc.returncode, proc.stdout, proc.stderr[:120])))

print(f"{'FAILED' if failures else 'PASSED'}: {len(failures)} failure(s)")
sys.exit(1 if failures else 0)
