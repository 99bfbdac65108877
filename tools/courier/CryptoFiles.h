// The support tool's check of its own gzip archive (PcalcMD5 and PGzipFile, defined beside it,
// are declared with the common library's stand-ins in VNL/source/FileUtils.h).
#pragma once

#include <string>

/// True when the gzip file `archive` decompresses, its checksum and length verified, to exactly
/// the bytes of the file `original`. Reads both in pieces, never whole.
bool gzipHolds(const std::string& archive, const std::string& original);
