// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/HistoryIndex.h"

#include "files/AtomicFile.h"
#include "session/History.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace kyr::session {

namespace {

using nlohmann::json;

constexpr int IndexVersion = 1;
constexpr std::string_view SavedSuffix = "_saved.kyr";
// An index holds a few hundred short records; anything far larger is no index.
constexpr std::uintmax_t MaxIndexBytes = 16u << 20;

std::string quoted(const std::string& text)
{
    return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'F')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Files one "key": "value" record where its key's shape says it belongs.
bool takeRecord(HistoryIndex& index, const std::string& key, const std::string& value)
{
    if (isTuneHash(key)) {
        index.notes[lower(key)] = value;
        return true;
    }
    if (key.ends_with(SavedSuffix) && key.find_first_of("/\\") == std::string::npos) {
        index.savedAs[key] = value;
        return true;
    }
    return false;
}

bool takeSection(HistoryIndex& index, const json& doc, const char* name)
{
    const auto it = doc.find(name);
    if (it == doc.end())
        return true;
    if (!it->is_object())
        return false;
    for (const auto& [key, value] : it->items())
        if (!value.is_string() || !takeRecord(index, key, value.get<std::string>()))
            return false;
    return true;
}

// The whole records of a damaged index: each sits on a line of its own.
HistoryIndex salvage(const std::string& text)
{
    HistoryIndex index;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        while (!line.empty() && (line.back() == ',' || line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (line.empty() || line.front() != '"')
            continue;
        const json record = json::parse("{" + line + "}", nullptr, false);
        if (record.is_discarded() || !record.is_object() || record.size() != 1)
            continue;
        const auto only = record.begin();
        if (only.value().is_string())
            takeRecord(index, only.key(), only.value().get<std::string>());
    }
    return index;
}

void section(std::string& out, const char* name, const std::map<std::string, std::string>& records, bool last)
{
    out += quoted(name) + ": {";
    const char* separator = "\n";
    for (const auto& [key, value] : records) {
        out += separator + quoted(key) + ": " + quoted(value);
        separator = ",\n";
    }
    out += records.empty() ? "}" : "\n}";
    out += last ? "\n" : ",\n";
}

} // namespace

IndexRead parseHistoryIndex(const std::string& text)
{
    IndexRead read;
    const json doc = json::parse(text, nullptr, false);
    if (!doc.is_discarded() && doc.is_object()) {
        read.state = IndexRead::State::Whole;
        if (takeSection(read.index, doc, "notes") && takeSection(read.index, doc, "saved"))
            return read;
        read.index = {};
    }
    read.state = IndexRead::State::Damaged;
    read.text = doc.is_discarded() ? "it is not whole JSON" : "its records are not as an index keeps them";
    read.index = salvage(text);
    return read;
}

IndexRead readHistoryIndex(const std::filesystem::path& folder)
{
    const std::filesystem::path path = folder / IndexFileName;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && !ec)
        return {};
    const auto size = std::filesystem::file_size(path, ec);
    std::ifstream in(path, std::ios::binary);
    IndexRead read;
    read.state = IndexRead::State::Damaged;
    if (ec || !in) {
        read.text = "it cannot be read";
        return read;
    }
    if (size > MaxIndexBytes) {
        read.text = "it is far too large";
        return read;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseHistoryIndex(text.str());
}

std::string formatHistoryIndex(const HistoryIndex& index)
{
    std::string out = "{\n\"version\": " + std::to_string(IndexVersion) + ",\n";
    section(out, "notes", index.notes, false);
    section(out, "saved", index.savedAs, true);
    out += "}\n";
    return out;
}

Status writeHistoryIndex(const std::filesystem::path& folder, const HistoryIndex& index)
{
    return files::replaceFile(folder / IndexFileName, formatHistoryIndex(index));
}

} // namespace kyr::session
