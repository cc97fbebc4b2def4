// The two whole-archive operations of the ZIP modules: adding files to an
// archive (made new or updated) and extracting members into a folder.
#pragma once

#include "module.h"
#include "zip_writer.h"

#include <string>
#include <vector>

namespace zip {

struct Source {
    std::string path; // the file to read
    std::string name; // the entry name to store it under
};

// Makes `archive` from the sources, with their names stored as `names` says,
// or updates it when it exists: a source
// replaces the entry of the same name in place (unless that entry holds the
// file's bytes already: then it stays as it is), new names are appended, and
// every other entry is copied byte for byte. A second source with a name
// already taken, and a file that cannot be read, are skipped and counted (an
// entry whose replacement cannot be read is kept). The archive is replaced
// only when complete. Returns kOk, the skipped count (1..32767), kErrNotFound
// when no source could be stored, or another error code with the archive
// untouched.
int updateArchive(const std::string& archive, const std::vector<Source>& sources, int level,
                  arc::Progress& progress, const Limits& limits = Limits(),
                  NameCoding names = NameCoding::Cp932First);

// Extracts the members named in `names` (a name matches the decoded name or
// its bare file name; all members when `names` is empty) into `folder` under
// their bare file names, replacing files there only once each is complete and
// its CRC checked, with the permission bits a Unix host stored. Folder entries
// are passed over; symbolic links, names that cannot be made safe and a second
// member landing on a name already written are passed over and counted. A
// member that does not fit on the destination's file system stops the call
// with kErrDiskFull. Returns kOk, the count passed over, or the first error
// (kErrNotFound when nothing matched).
int extractArchive(const std::string& archive, const std::string& folder,
                   const std::vector<std::string>& names, arc::Progress& progress);

// Tests the members named as for extractArchive (all when `names` is empty):
// inflates each one that is not a folder and checks its size and CRC, writing
// nothing. Returns kOk, the first error (kErrNotFound when nothing matched);
// the other members are still tested unless the call is cancelled.
int testArchive(const std::string& archive, const std::vector<std::string>& names,
                arc::Progress& progress);

} // namespace zip
