// SPDX-License-Identifier: GPL-3.0-or-later
// The journal of unsent edits on any text: it refuses with a BadFile error
// whose quoted line is short and free of control bytes, or every edit it gives
// is a single write inside its command's own range, with a value an editor sends.

#include "FuzzCheck.h"
#include "session/EditJournal.h"
#include "table/Layout.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace kyr;
using kyr::fuzz::check;

namespace {

constexpr std::size_t kLongestMessage = 300; // the name, the line number and a 40-character quote

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto loaded = session::EditJournal::parse(text, "unsent-edits.journal");
    if (!loaded) {
        const std::string& m = loaded.error().message;
        check(loaded.error().kind == ErrorKind::BadFile, "a refused journal is a BadFile error");
        check(!m.empty() && m.size() <= kLongestMessage, "a refused journal says why, briefly");
        for (char c : m)
            check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "no control byte reaches the message");
        return 0;
    }
    for (const session::JournalEntry& e : loaded.value()) {
        check(session::singleWrite(e.bytes) == e, "an entry is the single write its bytes are");
        check(e.offset >= 0 && e.offset < table::TableSize - 1, "an entry sets a place of the table");
        check(e.raw <= table::MaxRawSent, "an entry never stores a 0 or an absent value");
    }
    return 0;
}
