// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The *.kyr map file: one DataTable image (plus-one form) with the unit's
// identity and the vehicle information, as seven lines of text.

#include "table/Layout.h"
#include "table/Result.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace kyr::files {

/// What a map file holds.
struct MapFile {
    /// Identity bytes 0..6: model, type code (major), minor, two unused bytes,
    /// and the signature. A file this program wrote reads back with the signature 4, 4.
    std::array<uint8_t, 7> identity{};
    /// Windows-1252 bytes as the file keeps them (Cp1252.h), at most 18 each.
    std::string make, model, engine;
    table::ImageBytes image{};       ///< offsets 0..481, plus-one form
};

constexpr int MaxVehicleText = 18;
/// Signature bytes a file-borne identity carries (Connect reports "KYR file opened successfully").
constexpr uint8_t FileSignature = 4;

/// The version line for an identity: bytes 0..4 in decimal, then "44".
std::string versionLine(const std::array<uint8_t, 7>& identity);
/// The identity from a version line's first eight characters (spaces after
/// them aside), the eighth being "4"; a seven-digit line ending "44" is the
/// older form with a one-digit minor. Fails with "Incorrect .KYR file version".
Result<std::array<uint8_t, 7>> parseVersionLine(std::string_view text);
/// The seven CR LF lines of a map file.
std::string formatMapFile(const MapFile& file);
/// Parses the text of a map file; every fault is a BadFile error and nothing is
/// returned. Blank lines between sections, a missing "#EOF" after a whole table
/// line and anything after "#EOF" are taken.
Result<MapFile> parseMapFile(std::string_view text);

/// Reads and parses a map file from disk.
Result<MapFile> loadMapFile(const std::filesystem::path& path);
/// Writes a map file atomically (replaceFile): a temporary file in the target's
/// folder renamed over it; the target keeps its mode, and a link stays a link.
Status saveMapFile(const std::filesystem::path& path, const MapFile& file);

} // namespace kyr::files
