// What quillon-sim tells about a run as it happens: the transcript's one
// timeline (requests, log lines, progress, boxes, list and information
// snapshots, results, shutdown requests) and the summary lines on stdout.
#pragma once

// Observers of the tool and the machine; call once before the tool starts.
// requests: request events in the transcript; debug: log lines printed.
void WatchTheTool(bool debug, bool requests);
// The list and the five information lines, as transcript events.
void RecordDialog();
// Anything the observers could not see as it happened (a result whose RUN
// button was never disabled, a shutdown request), written at the step's end.
void RecordAfterStep();
// Updates that ended, and how many of them with a result other than 1.
int UpdatesEnded();
int UpdatesFailed();
