// quillon-sim's inputs (package, machine file, script) read whole with one
// clear complaint each, and the private temporary folder of a run.
#pragma once

#include <string>
#include <vector>

// The whole file; false with "PATH: is a directory", "PATH: empty file" or
// "PATH: cannot be read (reason)".
bool ReadInputFile(const std::string& path, std::string* bytes, std::string* error);

// What is wrong with a zip archive's directory, "" when it holds together:
// no end record ("not a zip archive (no end of central directory)"), a
// directory or an entry that points past the end ("truncated (...)").
std::string ZipProblem(const std::string& bytes);

// A folder of this run's own under TMPDIR (default /tmp); false with the reason.
bool MakePrivateTemp(std::string* folder, std::string* error);
// The folder and everything in it; symbolic links are removed, not followed.
void RemoveTree(const std::string& folder);
