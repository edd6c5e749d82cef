#!/usr/bin/env python3
"""Compares two JSON-lines transcripts of the tool (quillon-sim --transcript,
QuillonSim.exe /transcript:) event by event.

usage: compare_transcripts.py [--refused-close] [--no-snapshots] HEADLESS WINDOW

What is compared: every event in order, with its fields, but not its virtual
time "t"; device "request" events are left out. quillon-sim writes the list
and the information lines after every script step and QuillonSim.exe after
every action of a person, so a snapshot that repeats the one just before it
(nothing else in between) is dropped on both sides.

--refused-close: WINDOW also holds a close refused while an update ran:
exactly one message box "Update FW Now!\\nCan't Exit Program." (MB_OK,
answered OK) between the update's start and its result, followed by the
dialog as it stood (run button and list disabled). It is checked, then taken
out before the comparison with a HEADLESS run of the same update.

--no-snapshots: list and information snapshots are left out on both sides
(quillon-sim writes none in an unattended run, QuillonSim.exe does).

Exit status 0 when the transcripts agree; 1 with the first difference.
"""
import json
import sys

SNAPSHOTS = ("list", "info")
REFUSED_CLOSE_TEXT = "Update FW Now!\nCan't Exit Program."


def load(path):
    events = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line:
                continue
            try:
                event = json.loads(line)
            except ValueError as e:
                sys.exit("%s:%d: not JSON: %s" % (path, number, e))
            event.pop("t", None)
            if event.get("event") != "request":
                events.append(event)
    return events


def drop_repeated_snapshots(events):
    out = []
    last = {}  # kind -> last snapshot of that kind since the last other event
    for event in events:
        kind = event.get("event")
        if kind in SNAPSHOTS:
            if last.get(kind) == event:
                continue
            last[kind] = event
        else:
            last = {}
        out.append(event)
    return out


def take_out_refused_close(events):
    """Checks the refused close and returns the events without it, or exits."""
    boxes = [i for i, e in enumerate(events) if e.get("event") == "msgbox" and e.get("text") == REFUSED_CLOSE_TEXT]
    if len(boxes) != 1:
        sys.exit("refused close: expected one \"Update FW Now!\" box, found %d" % len(boxes))
    i = boxes[0]
    box = events[i]
    if box.get("style") != 0 or box.get("answer") != 1:
        sys.exit("refused close: box style %s answer %s, expected MB_OK (0) answered IDOK (1)" %
                 (box.get("style"), box.get("answer")))
    before = [e.get("event") for e in events[:i]]
    after = [e.get("event") for e in events[i + 1:]]
    if "result" in before or "exit" in before:
        sys.exit("refused close: the box came after the update had ended")
    if "result" not in after:
        sys.exit("refused close: no update result after the box (the update did not go on)")
    if events[-1].get("event") != "exit":
        sys.exit("refused close: the tool did not run on to its normal end")
    snapshot = events[i + 1:i + 3]
    kinds = [e.get("event") for e in snapshot]
    if kinds != ["list", "info"]:
        sys.exit("refused close: expected the dialog (list, info) after the box, found %s" % kinds)
    if snapshot[0].get("run_enabled") or snapshot[0].get("list_enabled"):
        sys.exit("refused close: run button or list enabled while the update ran: %s" % json.dumps(snapshot[0]))
    return events[:i] + events[i + 3:]


def show(event):
    return json.dumps(event, ensure_ascii=False) if event is not None else "(nothing)"


def main(argv):
    refused_close = "--refused-close" in argv
    no_snapshots = "--no-snapshots" in argv
    paths = [a for a in argv if a not in ("--refused-close", "--no-snapshots")]
    if len(paths) != 2:
        sys.exit(__doc__)
    headless, window = load(paths[0]), load(paths[1])
    if refused_close:
        window = take_out_refused_close(window)
    headless, window = drop_repeated_snapshots(headless), drop_repeated_snapshots(window)
    if no_snapshots:
        headless = [e for e in headless if e.get("event") not in SNAPSHOTS]
        window = [e for e in window if e.get("event") not in SNAPSHOTS]
    for i in range(max(len(headless), len(window))):
        a = headless[i] if i < len(headless) else None
        b = window[i] if i < len(window) else None
        if a != b:
            print("transcripts differ at event %d:" % (i + 1))
            for j in range(max(0, i - 3), i):
                print("   same: %s" % show(headless[j]))
            print("  %s: %s" % (paths[0], show(a)))
            print("  %s: %s" % (paths[1], show(b)))
            return 1
    counts = {}
    for e in window:
        counts[e["event"]] = counts.get(e["event"], 0) + 1
    print("transcripts agree: %d events (%s)" %
          (len(window), ", ".join("%s %d" % (k, counts[k]) for k in sorted(counts))))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
