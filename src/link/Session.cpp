#include "link/Session.h"

#include <cctype>

namespace kyr::link {

SessionState SessionState::initial()
{
    SessionState s;
    s.enabled = {{"spConnect", false}, {"spRead", false}, {"spWrite", false}, {"spRetry", true},
                 {"ComboBox1", true},  {"CalBtn", false}, {"Button1", false}, {"Button2", false},
                 {"Button3", false},   {"AnalogEn", false}, {"RT_Track", false}};
    s.checked = {{"AnalogEn", false}, {"RT_Track", false}};
    s.image.fill('0');
    s.setup.fill('0');
    return s;
}

int portFromComboText(const std::string& text)
{
    if (text.size() < 4 || !std::isdigit(static_cast<unsigned char>(text[3])))
        return 0;
    int n = text[3] - '0';
    if (text.size() >= 5) {
        if (!std::isdigit(static_cast<unsigned char>(text[4])))
            return 0;
        n = n * 10 + (text[4] - '0');
    }
    return n;
}

} // namespace kyr::link
