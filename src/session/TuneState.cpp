// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/TuneState.h"

#include "link/ComNames.h"

#include <cctype>

namespace kyr::session {

std::string PortAddress::chooserText() const
{
    if (!device.empty())
        return device;
    return com > 0 ? "Com" + std::to_string(com) : std::string();
}

std::string PortAddress::label() const { return device.empty() ? link::comName(com) : device; }

PortAddress portFromChooserText(const std::string& text)
{
    if (text.size() < 4 || !std::isdigit(static_cast<unsigned char>(text[3])))
        return {};
    int n = text[3] - '0';
    if (text.size() >= 5) {
        if (!std::isdigit(static_cast<unsigned char>(text[4])))
            return {};
        n = n * 10 + (text[4] - '0');
    }
    // Windows numbers ports up to COM256: a third digit belongs to the number.
    if (text.size() >= 6 && std::isdigit(static_cast<unsigned char>(text[5])))
        n = n * 10 + (text[5] - '0');
    return PortAddress::comPort(n);
}

TuneState TuneState::initial()
{
    TuneState s;
    s.image.fill('0');
    s.setup.fill('0');
    return s;
}

} // namespace kyr::session
