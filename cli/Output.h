// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the tool prints: each report as text for a person and as JSON for a
// script. The JSON field names are snake_case and stay stable; docs/cli.md
// describes them.

#include "TuneView.h"
#include "UnitLink.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

namespace kyr::cli {

/// What `kyr info` reports.
struct InfoView {
    std::string port;   ///< "COM3" or the device path given
    std::string device; ///< the device path opened
    IdentityView identity;
};

/// The identity of a unit's reply with its setup area.
IdentityView unitIdentity(const link::UnitIdentity& id, const table::SetupCopy& setupPlusOne);

// ---------------------------------------------------------------- text

void printSurvey(std::ostream& out, const Survey& survey);
void printInfo(std::ostream& out, const InfoView& info);
/// Identity, vehicle, setup and maps of a file.
void printTune(std::ostream& out, const TuneView& tune, const std::string& fileName);
/// The differences, or "no differences".
void printDiff(std::ostream& out, const FileDiff& diff, const std::string& nameA, const std::string& nameB);

// ---------------------------------------------------------------- JSON

nlohmann::json surveyJson(const Survey& survey);
nlohmann::json infoJson(const InfoView& info);
nlohmann::json identityJson(const IdentityView& id);
nlohmann::json setupValueJson(const SetupValue& v);
nlohmann::json tuneJson(const TuneView& tune, const std::string& fileName);
nlohmann::json diffJson(const FileDiff& diff, const std::string& nameA, const std::string& nameB);
/// A whole number as a JSON integer (7000, not 7000.0), any other as a double.
nlohmann::json jsonNumber(double v);
/// Two-space indented JSON and a newline; bytes that are not UTF-8 become U+FFFD.
void printJson(std::ostream& out, const nlohmann::json& j);

} // namespace kyr::cli
