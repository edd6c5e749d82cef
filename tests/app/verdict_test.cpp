// The verdict and exit code over every result path, and the opt-in words.
#include <gtest/gtest.h>

#include <cstring>

#include "app/run_options.h"
#include "app/verdict.h"
#include "platform/wtext.h"

namespace {

struct Row {
    const char* name;
    int refused, started, result, writes, dry_run, drive_after, is_nvme, bridge;
    const char16_t* revision_after;
    const char16_t* internal_after;
    int slots_after, next_reset_slot;
    const char16_t* verdict;
    const char16_t* pending;
    int exit_code;
};

// New image: revision "VX5B0200", whole version "VX5B0200".
const Row kRows[] = {
    {"good native update", 0, 1, 1, 5, 0, 1, 1, 0, u"VX5B0200", u"VX5B0200", 1, 0, u"running-new", u"", 0},
    {"good SATA update", 0, 1, 1, 2, 0, 1, 0, 0, u"VX5B0200", u"", 0, 0, u"running-new", u"", 0},
    {"vendor version shows the new image", 0, 1, 1, 5, 0, 1, 1, 1, u"OTHER", u"VX5B0200", 1, 0, u"running-new", u"", 0},
    {"each eligibility refusal", 1, 0, 0, 0, 0, 1, 1, 0, u"VX5A0100", u"", 0, 0, u"refused", u"", 20},
    {"image not loaded, nothing sent", 0, 1, 0, 0, 0, 1, 1, 0, u"VX5A0100", u"", 1, 0, u"failed-before-write", u"", 30},
    {"drive not opened", 0, 1, -1, 0, 0, 1, 0, 0, u"VX5A0100", u"", 0, 0, u"failed-before-write", u"", 30},
    {"dry run stopped at the download", 0, 1, -9, 0, 1, 1, 1, 0, u"VX5A0100", u"", 1, 0, u"not-applied", u"", 20},
    {"download piece fails", 0, 1, -4, 1, 0, 1, 1, 0, u"VX5A0100", u"VX5A0100", 1, 0, u"failed-after-write", u"", 40},
    {"commit fails", 0, 1, -4, 2, 0, 1, 1, 1, u"VX5A0100", u"VX5A0100", 1, 0, u"failed-after-write", u"", 40},
    {"drive never returns", 0, 1, 0, 3, 0, 0, 1, 1, u"", u"", 0, 0, u"drive-missing", u"", 50},
    {"native: power cycle required", 0, 1, -4, 2, 0, 1, 1, 0, u"VX5A0100", u"VX5A0100", 1, 1, u"pending-reset",
     u"restart", 10},
    {"Realtek without reset", 0, 1, -4, 2, 0, 1, 1, 1, u"VX5A0100", u"VX5A0100", 1, 1, u"pending-reset",
     u"power-cycle", 10},
    {"pending slot but the slots were not read", 0, 1, -4, 2, 0, 1, 1, 1, u"VX5A0100", u"VX5A0100", 0, 1,
     u"failed-after-write", u"", 40},
    {"SATA success claimed, old firmware runs", 0, 1, 1, 2, 0, 1, 0, 0, u"VX5A0100", u"", 0, 0, u"not-applied", u"", 40},
    {"SATA download piece refused behind USB", 0, 1, -4, 1, 0, 1, 0, 0, u"VX5A0100", u"", 0, 0,
     u"failed-after-write", u"", 40},
    {"new firmware runs, later version write fails", 0, 1, -4, 6, 0, 1, 1, 0, u"VX5B0200", u"VX5B0200", 1, 0,
     u"failed-after-write", u"", 40},
};

TEST(Verdict, EveryResultPath) {
    for (const Row& row : kRows) {
        RunEvidence e = {};
        e.refused = row.refused;
        e.started = row.started;
        e.result = row.result;
        e.writes = row.writes;
        e.dry_run = row.dry_run;
        e.drive_after = row.drive_after;
        e.is_nvme = row.is_nvme;
        e.bridge = row.bridge;
        WCopy(e.new_revision, 64, u"VX5B0200");
        WCopy(e.new_internal, 64, u"VX5B0200");
        WCopy(e.revision_after, 64, row.revision_after);
        WCopy(e.internal_after, 64, row.internal_after);
        e.slots_after = row.slots_after;
        e.next_reset_slot = row.next_reset_slot;
        Verdict v = DecideVerdict(&e);
        EXPECT_EQ(WCompare(VerdictName(v), row.verdict), 0) << row.name;
        EXPECT_EQ(WCompare(PendingName(PendingFor(&e)), row.pending), 0) << row.name;
        EXPECT_EQ(ExitCodeFor(v, e.writes), row.exit_code) << row.name;
    }
}

TEST(Verdict, NoImageVersionNeverReadsAsNew) {
    RunEvidence e = {};
    e.started = 1;
    e.result = 1;
    e.writes = 2;
    e.drive_after = 1;
    EXPECT_EQ(DecideVerdict(&e), kVerdictNotApplied);
}

TEST(RunOptions, WordsValuesAndMistakes) {
    RunOptions o;
    ASSERT_EQ(ParseRunOptions(u"/debug", &o), 1);
    EXPECT_FALSE(RunKeepsEvidence(&o));

    ASSERT_EQ(ParseRunOptions(u"/DEBUG /Report:\"C:\\My Reports\\r.json\" /unattended /drive:3 /dryrun", &o), 1);
    EXPECT_EQ(WCompare(o.report_path, u"C:\\My Reports\\r.json"), 0);
    EXPECT_EQ(o.unattended, 1);
    EXPECT_EQ(WCompare(o.drive, u"3"), 0);
    EXPECT_EQ(o.dry_run, 1);
    EXPECT_TRUE(RunKeepsEvidence(&o));

    ASSERT_EQ(ParseRunOptions(u"\"/report:a b.json\"", &o), 1);
    EXPECT_EQ(WCompare(o.report_path, u"a b.json"), 0);

    EXPECT_EQ(ParseRunOptions(u"/report:", &o), 0);
    EXPECT_EQ(ParseRunOptions(u"/report:a /report:b", &o), 0);
    EXPECT_EQ(ParseRunOptions(u"/unattended", &o), 0) << "no drive named";
    EXPECT_EQ(ParseRunOptions(u"/drive:1", &o), 0) << "a drive without /unattended";
    EXPECT_EQ(ParseRunOptions(u"/dryrun /dryrun", &o), 0);
    // A path longer than the buffer is refused, never cut.
    char16_t longline[400];
    WCopy(longline, 400, u"/report:");
    for (int i = 8; i < 390; ++i) longline[i] = u'x';
    longline[390] = 0;
    EXPECT_EQ(ParseRunOptions(longline, &o), 0);
}

TEST(RunOptions, SelectorByNumberPortOrSerial) {
    DiskInfo list[3] = {};
    list[0].iDiskNumber = 0;
    list[0].iPort = 0x0102;
    WCopy(list[0].szSerial, 64, u"VQ5120000A1B2C3D    ");
    list[1].iDiskNumber = 1;
    list[1].iPort = 1;  // the same text as drive 0's number... and drive 1's
    WCopy(list[1].szSerial, 64, u"GN256");
    list[2].iDiskNumber = 4;
    list[2].iPort = 77777;
    WCopy(list[2].szSerial, 64, u"4");
    uint32_t index = 99;
    EXPECT_EQ(SelectDrive(u"vq5120000a1b2c3d", list, 3, &index), kSelectOne);
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(SelectDrive(u"77777", list, 3, &index), kSelectOne);
    EXPECT_EQ(index, 2u);
    EXPECT_EQ(SelectDrive(u"port:258", list, 3, &index), kSelectOne);
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(SelectDrive(u"1", list, 3, &index), kSelectOne) << "number and port name the same drive";
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(SelectDrive(u"4", list, 3, &index), kSelectOne);
    EXPECT_EQ(SelectDrive(u"9", list, 3, &index), kSelectNone);
    list[2].iPort = 0;  // now "0" is drive 0's number and drive 2's port
    EXPECT_EQ(SelectDrive(u"0", list, 3, &index), kSelectMany);
}

}  // namespace
