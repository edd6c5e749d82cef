#!/usr/bin/env python3
"""Field traces on Linux: the committed example trace (tests/traces/, the
default update recorded on the default simulated machine) replayed, turned
into a machine file and redacted with quillon-tool, each checked against a
run of quillon-sim; and a fresh recording turned into a machine file.

usage: check_traces.py QUILLON_SIM QUILLON_TOOL TRACE_DIR"""
import json
import os
import subprocess
import sys
import tempfile

SIM, TOOL, TRACES = sys.argv[1], sys.argv[2], sys.argv[3]
EXAMPLE = os.path.join(TRACES, "default-update.jsonl")
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
COMPARE = os.path.join(ROOT, "scripts", "compare_transcripts.py")
# The serial numbers of the default machine's drives.
SERIALS = ["VQ5120000A1B2C3D", "VQ1T00009F8E7D6C", "GN256000000000042", "VQ5120000F0E1D2C", "31415901"]
failures = []


def check(name, condition, detail=""):
    if condition:
        print(f"ok   {name}")
    else:
        failures.append(name)
        print(f"FAIL {name}: {detail}")


def run(cmd, tmp):
    return subprocess.run(cmd, capture_output=True, text=True, timeout=300, env=dict(os.environ, TMPDIR=tmp))


def sim(args, tmp, keep=None):
    """quillon-sim with the default script: its stdout and its transcript's
    list events; keep names a file to keep the transcript in."""
    transcript = keep or os.path.join(tmp, "t.jsonl")
    proc = run([SIM, "--transcript", transcript] + args, tmp)
    lists = []
    if os.path.exists(transcript):
        with open(transcript) as f:
            lists = [e["entries"] for e in map(json.loads, f) if e["event"] == "list"]
        if keep is None:
            os.remove(transcript)
    return proc, lists


def agree(a, b):
    """The two transcripts equal event for event, times aside."""
    out = subprocess.run([sys.executable, COMPARE, a, b], capture_output=True, text=True)
    return out.returncode == 0, out.stdout + out.stderr


def hex_fields(record):
    """Every hex field of a record, decoded (nested objects too)."""
    out = b""
    for key, value in record.items():
        if isinstance(value, dict):
            out += hex_fields(value)
        elif key in ("in", "out", "data_in", "bytes") and isinstance(value, str):
            out += bytes.fromhex(value)
    return out


with tempfile.TemporaryDirectory() as tmp:
    # A trace of the default machine gives a machine file on which the tool
    # lists the same drives and the same update goes the same way.
    machine = os.path.join(tmp, "machine.json")
    made = run([TOOL, "trace", "machine", EXAMPLE, machine], tmp)
    check("trace machine runs", made.returncode == 0, made.stderr)
    check("trace machine names the five drives",
          [l.split("\t")[1] for l in made.stdout.splitlines() if l.startswith("drive ")] ==
          ["native", "asmedia", "native", "rst", "sata_port"], made.stdout)
    original_transcript = os.path.join(tmp, "original.jsonl")
    original, original_lists = sim([], tmp, keep=original_transcript)

    # The example replays to the run it recorded.
    replayed_transcript = os.path.join(tmp, "replayed.jsonl")
    replayed, _ = sim(["--replay", EXAMPLE], tmp, keep=replayed_transcript)
    check("the example replays", replayed.returncode == 0, replayed.stderr)
    same, why = agree(original_transcript, replayed_transcript)
    check("its replay is the original run, event for event", same, why[-2000:])
    rehearsal, rehearsal_lists = sim(["--machine", machine], tmp)
    check("the machine file loads", rehearsal.returncode == 0, rehearsal.stderr)
    check("the drive list equals the original machine's",
          original_lists and rehearsal_lists == original_lists, f"{original_lists[:1]} vs {rehearsal_lists[:1]}")
    check("the whole run equals the original machine's", rehearsal.stdout == original.stdout,
          "\n".join(l for l in rehearsal.stdout.splitlines() if l not in original.stdout.splitlines())[:2000])

    # Redacted: none of the drives' serial numbers is left, in texts or bytes,
    # and the rehearsal machine made from it still lists the same drives.
    redacted = os.path.join(tmp, "redacted.jsonl")
    red = run([TOOL, "trace", "redact", EXAMPLE, redacted], tmp)
    check("trace redact runs", red.returncode == 0, red.stderr)
    check("redact lists five serial numbers", "replaced 5 serial numbers" in red.stdout, red.stdout)
    with open(redacted) as f:
        records = [json.loads(line) for line in f]
    text = open(redacted).read()
    decoded = b"".join(hex_fields(r) for r in records)
    left = [s for s in SERIALS if s in text or s.encode() in decoded or s.encode("utf-16-le") in decoded]
    check("no serial number is left", not left, left)
    with open(EXAMPLE) as f:
        check("every record is kept, in order", [r["kind"] for r in records] == [json.loads(l)["kind"] for l in f])
    made = run([TOOL, "trace", "machine", redacted, machine], tmp)
    redacted_run, redacted_lists = sim(["--machine", machine], tmp)
    check("a redacted trace still gives the same drive list", redacted_lists == original_lists,
          f"{redacted_lists[:1]}")
    # It replays as the original did: the same run, the placeholder where the
    # serial was shown.
    replayed_redacted, _ = sim(["--replay", redacted], tmp)
    check("the redacted trace replays", replayed_redacted.returncode == 0, replayed_redacted.stderr)
    shown = next((l.split(": ", 1)[1].strip() for l in replayed_redacted.stdout.splitlines()
                  if l.startswith("serial: ")), "?")
    check("the serial shown is a listed placeholder", shown != SERIALS[0] and "\t%s\t" % shown in red.stdout, shown)
    check("its replay is the original's with the placeholder for the serial",
          replayed_redacted.stdout == replayed.stdout.replace(SERIALS[0], shown),
          "\n".join(l for l in replayed_redacted.stdout.splitlines() if l not in replayed.stdout.splitlines())[:2000])

    # A fresh recording reads the same way: what the recorder writes today
    # is what trace machine understands.
    fresh = os.path.join(tmp, "fresh.jsonl")
    recorded, _ = sim(["--record", fresh], tmp)
    check("a fresh recording", recorded.returncode == 0, recorded.stderr)
    made = run([TOOL, "trace", "machine", fresh, machine], tmp)
    fresh_run, fresh_lists = sim(["--machine", machine], tmp)
    check("a fresh recording gives a machine with the same drive list", made.returncode == 0 and
          fresh_lists == original_lists, made.stdout + made.stderr)

# The two other bridges (JMicron, Realtek), each drive with an identity of
# its own so a default could not stand in for what the trace says: recorded
# while it is updated, turned into a machine file, the same run there.
with tempfile.TemporaryDirectory() as tmp:
    with open(os.path.join(ROOT, "platform", "sim", "machines", "default.json")) as f:
        desc = json.load(f)
    hub = desc["hubs"][1]["id"]
    for name, number, attachment, port, serial, firmware in (("jmi", 7, "jmicron", 4, "VQ1T0000JM000007", "VX5A0099"),
                                                             ("rtk", 8, "realtek", 5, "VQ1T0000RT000008", "VX5A0098")):
        desc["drives"].append({"name": name, "number": number, "attachment": attachment, "model": "VELQORAX VX500 1TB",
                               "serial": serial, "firmware": firmware, "blocks": 2000409264 - number,
                               "usb": {"hub": hub, "location": "Port_#%04d.Hub_#0002" % port}})
    bridged = os.path.join(tmp, "bridged.json")
    with open(bridged, "w") as f:
        json.dump(desc, f)
    for index, kind in ((3, "jmicron"), (4, "realtek")):
        script = os.path.join(tmp, "script.txt")
        with open(script, "w") as f:
            f.write(f"select {index}\nanswer yes\nrun\nwait\nclose\n")
        trace, machine = os.path.join(tmp, "bridged.jsonl"), os.path.join(tmp, "machine.json")
        recorded, _ = sim(["--machine", bridged, "--script", script, "--record", trace], tmp)
        made = run([TOOL, "trace", "machine", trace, machine], tmp)
        check(f"{kind}: trace machine names it", f"\t{kind}\tVELQORAX VX500 1TB" in made.stdout, made.stdout)
        rehearsal, _ = sim(["--machine", machine, "--script", script], tmp)
        check(f"{kind}: the run on the machine file is the recorded run", recorded.returncode == 0 and
              rehearsal.stdout == recorded.stdout,
              "\n".join(l for l in rehearsal.stdout.splitlines() if l not in recorded.stdout.splitlines())[:2000])

# A SATA update (the SATA package draft): the drive's identity comes from
# ATA IDENTIFY and the vendor blocks from ATA commands; the NVMe drives the
# tool did not identify stay, the USB one it never placed is left out.
with tempfile.TemporaryDirectory() as tmp:
    source = os.path.join(ROOT, "tests", "quillon-sim", "sata_package")
    image, package = os.path.join(tmp, "VS300_T3.bin"), os.path.join(tmp, "sata.zip")
    subprocess.run([TOOL, "image", "make", image, "--firmware", os.path.join(source, "VS300_T3.txt"),
                    "--config-version", "VS3A0100", "--version", "5E6F7A9C", "--build", "0x00002233"],
                   check=True, capture_output=True)
    subprocess.run([sys.executable, os.path.join(ROOT, "res", "package", "make_package_zip.py"), package,
                    os.path.join(source, "QuillonInfo.ini"), image], check=True)
    trace, machine = os.path.join(tmp, "sata.jsonl"), os.path.join(tmp, "machine.json")
    recorded, _ = sim(["--package", package, "--record", trace], tmp)
    made = run([TOOL, "trace", "machine", trace, machine], tmp)
    check("sata: trace machine names it", "drive 4\tsata_port\tVELQORAX VS300 256GB" in made.stdout and
          "note\tdrive 1: a USB drive whose hub is not in the trace; left out" in made.stdout, made.stdout)
    rehearsal, _ = sim(["--package", package, "--machine", machine], tmp)
    check("sata: the run on the machine file is the recorded run", recorded.returncode == 0 and
          rehearsal.stdout == recorded.stdout,
          rehearsal.stderr + "\n".join(l for l in rehearsal.stdout.splitlines() if l not in recorded.stdout.splitlines())[:2000])

# Every trace kept as a regression test: NAME.jsonl replayed (with the
# script NAME.script when there is one) must print each line of NAME.expect
# ("#" starts a comment; "exit N" sets the exit status, default 0).
with tempfile.TemporaryDirectory() as tmp:
    for name in sorted(os.listdir(TRACES)):
        if not name.endswith(".jsonl"):
            continue
        base = os.path.join(TRACES, name[:-len(".jsonl")])
        if not os.path.exists(base + ".expect"):
            check(f"{name} has its .expect", False, "every committed trace says what its replay must show")
            continue
        args = ["--replay", base + ".jsonl"] + (["--script", base + ".script"] if os.path.exists(base + ".script") else [])
        replay = run([SIM] + args, tmp)
        status, lines = 0, []
        with open(base + ".expect") as f:
            for line in f.read().splitlines():
                if line.startswith("exit "):
                    status = int(line[5:])
                elif line.strip() and not line.startswith("#"):
                    lines.append(line)
        shown = replay.stdout.splitlines()
        missing = [l for l in lines if l not in shown]
        check(f"{name} replays as expected", replay.returncode == status and lines and not missing,
              f"exit {replay.returncode}, missing {missing}, stderr {replay.stderr[-500:]}")

if failures:
    print(f"{len(failures)} failed: {', '.join(failures)}")
    sys.exit(1)
print("all trace checks passed")
