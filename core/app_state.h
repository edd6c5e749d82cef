// The one process-wide application state.
#pragma once

#include "core/disk_info.h"

struct AppState {
    HWND hDlg;
    HANDLE hWorkerThread;  // non-zero exactly while an update runs
    WCH szTitle[260];
    WCH szWorkDir[260];
    WCH szIniPath[260];
    uint32_t iDiskCount;
    DiskInfo DiskList[26];
    DiskInfo SelectedDisk;
    int32_t bDebug;
    WCH SOCID[64];
    WCH ModelName[260];
    WCH FWVersion[260];
    WCH NEWVERSION[64];
    WCH BeforeMessage[1024];
    WCH AfterMessage[1024];
    uint8_t PowerCtrl;
    int32_t iInternalFWVersionCheckPart;
    int32_t bRemoveFtlBuildNumCheck;
    int32_t bSetVersionBeforeQuillon;
    int16_t sProgressStart;
    int16_t sProgressEnd;
    int32_t bIsSATA;
    // The image the run button's checks read: its size, version text and FTL
    // build number. The worker sends only an image that still matches.
    uint64_t iCheckedImageSize;
    WCH szCheckedImageVersion[32];
    uint32_t iCheckedFtlBuild;
    // Not a configuration value: 1 only when this run created szWorkDir itself
    // with a complete path; the exit path deletes files only then.
    int32_t bWorkDirCreated;
    // The work folder held open, without delete sharing, from its creation
    // to the exit: nobody can rename or replace it while the tool runs, and
    // the exit deletes only in the folder this handle names.
    HANDLE hWorkDir;
};

AppState* GetAppState();
int IsWorkerRunning();
