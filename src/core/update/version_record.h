#pragma once

#include <string>
#include <string_view>

#include "core/state/app_state.h"

namespace vennadar {

// The ELF section that carries the version record, and the magic that opens it.
inline constexpr char kVersionSectionName[] = ".vennadar_version";
inline constexpr std::string_view kVersionRecordMagic{"VNDRVER1", 8};

// The eleven fields in record order, as a version resource of the executable holds them.
// Field 0, the file version, is the running version.
enum VersionField {
    kFileVersion,
    kProductVersion,
    kFileDescription,
    kProductName,
    kCompanyName,
    kLegalCopyright,
    kLegalTrademarks,
    kOriginalFilename,
    kInternalName,
    kComments,
    kSpecialBuild,
};

// Reads the version record from an executable file. A file that cannot be read, is no ELF file
// or has no (valid) record gives eleven empty fields.
VersionRecord ReadVersionRecord(const std::string& executable_path);

// Parses the bytes of a record section: the magic, then eleven NUL-terminated fields.
VersionRecord ParseVersionRecord(std::string_view section);

// The running program's own executable file.
std::string OwnExecutablePath();

}  // namespace vennadar
