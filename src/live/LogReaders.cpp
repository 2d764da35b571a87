#include "live/LogFormats.h"

namespace kyr::live::logfmt {
Result<LogData> readMlg(std::istream&, const std::string& path)
{
    return makeError(ErrorKind::BadFile, "Reading " + path + " is not built yet");
}
Result<LogData> readText(std::istream&, const std::string& path)
{
    return makeError(ErrorKind::BadFile, "Reading " + path + " is not built yet");
}
} // namespace kyr::live::logfmt
