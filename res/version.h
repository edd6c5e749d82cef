/* The program's version, in one place: the VERSIONINFO block of Quillon.exe
   (res/quillon.rc) and the --version of quillon-sim and quillon-tool read it.
   QN_VERSION_TEXT spells the four numbers; keep them together. */
#pragma once

#define QN_VERSION_MAJOR 1
#define QN_VERSION_MINOR 0
#define QN_VERSION_PATCH 0
#define QN_VERSION_BUILD 0
#define QN_VERSION_TEXT "1.0.0.0"
