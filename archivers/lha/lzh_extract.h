// Reading an archive: listing its members, and decoding them into a folder
// (x) or only to check them (t).
#pragma once

#include "lh_codec.h"
#include "lzh_command.h"
#include "lzh_header.h"
#include "module.h"

#include <string>

namespace lha {

// One line a member, in archive order (arc_module.h).
int list(const Command& cmd, std::string& output);

// Carries out x, or t, which decodes the same members and writes nothing
// (unlha32.h): every member, or those named, each checked against its CRC.
// Returns kOk or the first error; a cancel or a full disk stops the call.
int extract(const Command& cmd, arc::Progress& progress);

// Decodes the data of one member of `archive` into `sink` and checks it
// against the member's CRC. Returns kOk, kErrMethod (a folder or an unknown
// method), kErrBadData, kErrFileCrc, or the first error of the sink.
int decodeMemberData(const ArchiveFile& archive, const MemberHeader& h, const ByteSink& sink);

} // namespace lha
