#!/usr/bin/env python3
"""Field traces on the Linux host: quillon-sim --record writes a trace,
quillon-sim --replay answers the tool from it alone, and the two runs'
transcripts agree; an edited answer changes the replayed verdict, an image
changed by one byte stops the replay at its first piece, and a reordered
trace passes the default lookup but not --strict.
   check_replay.py QUILLON_SIM QUILLON_TOOL DEFAULT_PACKAGE_ZIP"""
import json
import os
import re
import subprocess
import sys
import tempfile
import zipfile

SIM, TOOL, PACKAGE = sys.argv[1], sys.argv[2], sys.argv[3]
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
COMPARE = os.path.join(ROOT, "scripts", "compare_transcripts.py")
ENV = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
BRIDGE_SCRIPT = "select 1\nanswer yes\nrun\nwait\nclose\n"  # the ASMedia-bridged drive

failures = []


def check(name, condition, detail=""):
    if not condition:
        failures.append(name)
        print(f"FAIL {name}: {detail}")
    else:
        print(f"ok   {name}")


def run(tmp, args, name):
    out = subprocess.run([SIM] + args, capture_output=True, text=True, timeout=300, env=dict(ENV, TMPDIR=tmp))
    return out.returncode, out.stdout, out.stderr


def records(path):
    with open(path) as f:
        return [json.loads(line) for line in f if line.strip()]


def write_records(path, recs):
    with open(path, "w") as f:
        for r in recs:
            f.write(json.dumps(r) + "\n")
    return path


def events(path):
    with open(path) as f:
        return [json.loads(line) for line in f if line.strip()]


def agree(a, b):
    out = subprocess.run([sys.executable, COMPARE, a, b], capture_output=True, text=True)
    return out.returncode == 0, out.stdout + out.stderr


def replace_hex(recs, old_ascii, new_ascii, fields=("out", "data_in")):
    """Every answer that holds old_ascii holds new_ascii instead; how many were changed."""
    old, new = old_ascii.encode().hex(), new_ascii.encode().hex()
    changed = 0
    for r in recs:
        for field in fields:
            if isinstance(r.get(field), str) and old in r[field]:
                r[field] = r[field].replace(old, new)
                changed += 1
    return changed


with tempfile.TemporaryDirectory() as tmp:
    def p(name):
        return os.path.join(tmp, name)

    # ---- the default update and a bridged one: record, replay, same transcript ----
    for case, script in (("native", None), ("bridge", BRIDGE_SCRIPT)):
        script_args = []
        if script:
            with open(p(case + ".script"), "w") as f:
                f.write(script)
            script_args = ["--script", p(case + ".script")]
        rc, out, err = run(tmp, script_args + ["--record", p(case + ".jsonl"), "--transcript", p(case + "-rec.t")], case)
        check(f"{case}: recorded run updates", rc == 0 and "result: 1" in out, out + err)
        recs = records(p(case + ".jsonl"))
        head = recs[0]
        check(f"{case}: header", head["kind"] == "header" and head["format"] == "quillon-trace" and
              head["format_version"] == 1 and head["arch"] == "x86_64" and head["windows"] == "simulated" and
              "/record:" in head["command_line"] and head["full"] is False, json.dumps(head))
        check(f"{case}: records numbered in order", [r["n"] for r in recs] == list(range(len(recs))))
        ioctls = [r for r in recs if r["kind"] == "ioctl"]
        check(f"{case}: requests numbered from 1", [r["req"] for r in ioctls] == list(range(1, len(ioctls) + 1)))
        pieces = [r for r in ioctls if "data_out" in r and r["data_out"]["length"] > 512]
        check(f"{case}: image pieces kept as digest only",
              pieces and all("bytes" not in r["data_out"] and len(r["data_out"]["sha256"]) == 64 for r in pieces),
              str(len(pieces)))
        kinds = {r["kind"] for r in recs}
        check(f"{case}: the device tree and the dialog are recorded",
              {"classdevs", "enum_device", "interface_detail", "cm_parent", "open", "dialog", "package"} <= kinds,
              str(kinds))
        rc, out, err = run(tmp, script_args + ["--replay", p(case + ".jsonl"), "--transcript", p(case + "-rep.t")], case)
        check(f"{case}: replay updates", rc == 0 and "result: 1" in out and "replay:" not in err, out + err)
        same, why = agree(p(case + "-rec.t"), p(case + "-rep.t"))
        check(f"{case}: transcripts agree", same, why)
        rc, out, err = run(tmp, script_args + ["--replay", p(case + ".jsonl"), "--strict"], case)
        check(f"{case}: strict replay updates", rc == 0 and "result: 1" in out, out + err)

    # ---- recording changes nothing the tool sends, logs, shows or ends with ----
    def masked(path):
        """The transcript without times; the data pointer inside direct
        pass-through blocks (bytes 24..31) is a heap address of the run."""
        out = []
        for e in events(path):
            e.pop("t", None)
            if e.get("event") == "request" and e.get("ioctl") in ("0x0004D014", "0x0004D030"):
                for k in ("input", "output"):
                    if len(e.get(k, "")) >= 64:
                        e[k] = e[k][:48] + "0" * 16 + e[k][64:]
            out.append(e)
        return out
    for case, args in (("native", []), ("bridge", ["--script", p("bridge.script")])):
        run(tmp, args + ["--debug", "--requests", "--transcript", p(case + "-plain.t")], case)
        run(tmp, args + ["--debug", "--requests", "--record", p(case + "-again.jsonl"), "--transcript",
                         p(case + "-traced.t")], case)
        plain, traced = masked(p(case + "-plain.t")), masked(p(case + "-traced.t"))
        check(f"{case}: the same requests, log lines, boxes and result with and without --record",
              plain == traced and sum(e["event"] == "request" for e in plain) > 100,
              f"{len(plain)} / {len(traced)} events")

    # ---- the replay answers from the trace, not from a machine ----
    recs = records(p("native.jsonl"))
    check("revision edited", replace_hex(recs, "VX5A0100", "VX5A0099") > 0)
    rc, out, err = run(tmp, ["--replay", write_records(p("old-rev.jsonl"), recs), "--transcript", p("old-rev.t")], "rev")
    boxes = [e["text"] for e in events(p("old-rev.t")) if e["event"] == "msgbox"]
    check("an edited revision changes the verdict", boxes == ["Do not need to update."] and "result:" not in out,
          repr(boxes) + out + err)

    # A sense key: the bridge's first image piece answered CHECK CONDITION, ILLEGAL REQUEST.
    recs = records(p("bridge.jsonl"))
    first = next(r for r in recs if r["kind"] == "ioctl" and r["meaning"]["what"] == "scsi" and
                 r.get("data_out", {}).get("length", 0) > 512)
    first["scsi_status"] = 2
    first["sense"] = "70000500000000" + "0a" + "00000000" + "2400" + "000000"
    rc, out, err = run(tmp, ["--script", p("bridge.script"), "--replay", write_records(p("sense.jsonl"), recs)],
                       "sense")
    check("an edited sense key fails the replayed update", rc == 3 and re.search(r"result: (?!1\b)-?\d+", out),
          out + err)

    # ---- the image changed by one byte: the first piece is not in the trace ----
    changed = p("changed.zip")
    with zipfile.ZipFile(PACKAGE) as src, zipfile.ZipFile(changed, "w") as dst:
        for info in src.infolist():
            data = src.read(info.filename)
            if info.filename == "VX500_B17A.bin":
                data = bytearray(data)
                data[4000] ^= 1
                with open(p("img.bin"), "wb") as f:
                    f.write(data)
                subprocess.run([TOOL, "image", "reseal", p("img.bin")], check=True, capture_output=True)
                with open(p("img.bin"), "rb") as f:
                    data = f.read()
            dst.writestr(info, data)
    recs = records(p("native.jsonl"))
    first_piece = next(r for r in recs if r["kind"] == "ioctl" and r["meaning"]["what"] == "fw_download")
    rc, out, err = run(tmp, ["--replay", p("native.jsonl"), "--package", changed], "changed")
    want = (f"replay: request {first_piece['req']} on {first_piece['path']}: no recorded answer for firmware piece "
            f"at offset 0, 4096 bytes")
    check("a changed image stops at its first piece", rc == 1 and want in err and "closest recorded: request "
          f"{first_piece['req']}, firmware piece at offset 0" in err, err)
    check("a changed image: one message", err.count("replay:") == 1, err)

    # ---- a reordered trace: found by the default lookup, refused by --strict ----
    recs = records(p("native.jsonl"))
    at, then = [i for i, r in enumerate(recs) if r["kind"] == "ioctl" and r["meaning"]["what"] == "fw_download"][:2]
    recs[at], recs[then] = recs[then], recs[at]
    write_records(p("reordered.jsonl"), recs)
    rc, out, err = run(tmp, ["--replay", p("reordered.jsonl")], "reordered")
    check("a reordered trace replays by the default lookup", rc == 0 and "result: 1" in out, out + err)
    rc, out, err = run(tmp, ["--replay", p("reordered.jsonl"), "--strict"], "reordered-strict")
    m = re.search(r"replay: request (\d+) on \S+: expected request (\d+), (.*), got (.*)", err)
    check("--strict refuses a reordered trace", rc == 1 and m and m.group(1) == str(recs[then]["req"]) and
          m.group(2) == str(recs[at]["req"]) and "offset 4096" in m.group(3) and "offset 0," in m.group(4), err)

    # ---- what is not a trace ----
    rc, out, err = run(tmp, ["--replay", write_records(p("no-header.jsonl"), recs[1:])], "bad")
    check("a file without the header is refused", rc == 1 and "not a trace" in err, err)
    rc, out, err = run(tmp, ["--replay", p("native.jsonl"), "--record", p("again.jsonl")], "both")
    check("--replay with --record is a usage error", rc == 2, err)

print(f"{'FAILED' if failures else 'PASSED'}: {len(failures)} failure(s)")
sys.exit(1 if failures else 0)
