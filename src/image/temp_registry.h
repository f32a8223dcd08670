#pragma once

#include <string>

namespace orbelune {

// Temporary files and folders of work in progress, so that SIGINT, SIGTERM or
// SIGHUP ending the process remove them first. A slot (or -1 when the path is
// too long or all slots are taken: it is then simply not covered).
int RegisterTempPath(const std::string& path, bool folder);
void UnregisterTempPath(int slot);

// Installs the handlers for the three signals (once; a signal the process
// ignores stays ignored). Each removes what is registered, then lets the
// signal end the process as it would have.
void RemoveTempFilesOnSignals();

// What a killed earlier run left behind: ".orbelune-XXXXXX" files in `folder`
// (RemoveStaleTempFiles) and "OBLXXXXXX" folders in `folder`
// (RemoveStaleTempFolders), ours only: owned by our user, last changed before
// this process started, and not locked by a live process. Each folder is
// looked through once per process.
void RemoveStaleTempFiles(const std::string& folder);
void RemoveStaleTempFolders(const std::string& folder);

// Takes the lock that tells RemoveStale* that the file or folder behind `fd`
// is alive.
void LockAsLive(int fd);

}  // namespace orbelune
