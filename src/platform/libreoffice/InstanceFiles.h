#pragma once
// What a private LibreOffice instance keeps on disk, for OfficeProcess: the
// instance's folder and its owner mark, the seeded profile, the pipe files,
// and what a Korvane that died left behind. POSIX and the sal C library only.

#include <string>

namespace korvane::lo {

// A file: URL of an absolute path, every byte outside [A-Za-z0-9/-_.~]
// percent-encoded.
std::string FileUrl(const std::string& path);

// A name no other instance uses, on this or any other host sharing the
// temporary folder: process id, a key of this place, a counter and a random
// part.
std::string UniqueToken();

// Writes the owner file into an instance's folder: this host, boot, PID
// namespace, process id and start time.
void MarkOwner(const std::string& dir);

// The folder instance folders are made in: `wanted`, else $TMPDIR, else /tmp.
std::string TempBase(const std::string& wanted);

// Makes a new folder `base`/`prefix`XXXXXX. False with `error`.
bool MakeTempDir(const std::string& base, const std::string& prefix, std::string& dir,
                 std::string& error);

// Removes what an instance leaves on disk: its folder and its pipe files.
void RemoveInstanceFiles(const std::string& workDir, const std::string& pipeName);

// Removes the folders (in `base`) and pipes left by a Korvane that died
// without tidying up.
void RemoveLeftovers(const std::string& base);

// Writes the settings every private instance needs into a new profile
// folder. False when they cannot be written.
bool WriteSeed(const std::string& profileDir);

}  // namespace korvane::lo
