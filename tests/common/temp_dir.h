// A scratch folder under /tmp for tests that work on real files. The old
// TMPDIR and working folder are kept so that the test leaves the process as
// it found it; the folder and everything in it go at the end.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

struct TempDir {
    std::string root;
    std::string old_tmpdir;
    std::string old_cwd;
    bool had_tmpdir = false;
};

// Makes /tmp/<prefix>XXXXXX; with point_tmpdir, TMPDIR names it from now on.
// Call through ASSERT_NO_FATAL_FAILURE so that a failure stops the set-up.
inline void MakeTempDir(TempDir* dir, const std::string& prefix, bool point_tmpdir) {
    std::string pattern = "/tmp/" + prefix + "XXXXXX";
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    dir->root = pattern;
    const char* old = getenv("TMPDIR");
    dir->had_tmpdir = old != nullptr;
    dir->old_tmpdir = old ? old : "";
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    dir->old_cwd = cwd;
    if (point_tmpdir) setenv("TMPDIR", dir->root.c_str(), 1);
}

// Back to the old working folder and TMPDIR, then the folder goes.
inline void RemoveTempDir(const TempDir& dir) {
    ASSERT_EQ(chdir(dir.old_cwd.c_str()), 0);
    if (dir.had_tmpdir) {
        setenv("TMPDIR", dir.old_tmpdir.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
    std::string cmd = "rm -rf '" + dir.root + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
}
