// SPDX-License-Identifier: GPL-3.0-or-later
#include "Memory.h"

#include "files/MapFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace kyr::sim {

namespace fs = std::filesystem;

namespace {

Error osError(const std::string& what, const fs::path& path, int err)
{
    return makeError(ErrorKind::OsError, what + " " + path.string() + ": " + std::strerror(err));
}

} // namespace

Result<table::ImageBytes> loadMemory(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return osError("Cannot read the memory file", path, errno);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() != static_cast<size_t>(table::TableSize))
        return makeError(ErrorKind::BadFile, "The memory file " + path.string() + " holds " +
                                                 std::to_string(bytes.size()) + " bytes, not " +
                                                 std::to_string(table::TableSize) + ".");
    table::ImageBytes raw;
    std::memcpy(raw.data(), bytes.data(), raw.size());
    return raw;
}

Status saveMemory(const fs::path& path, const table::ImageBytes& raw)
{
    const fs::path temp = path.string() + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return osError("Cannot create", temp, errno);
    size_t done = 0;
    while (done < raw.size()) {
        const ssize_t n = ::write(fd, raw.data() + done, raw.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            return osError("Cannot write", temp, err);
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return osError("Cannot write", temp, err);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return osError("Cannot replace", path, err);
    }
    return okStatus();
}

Result<table::ImageBytes> loadTune(const fs::path& path)
{
    auto file = files::loadMapFile(path);
    if (!file)
        return file.error();
    table::ImageBytes raw;
    const auto& image = file.value().image;
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<uint8_t>(image[i] - 1);
    return raw;
}

Result<table::ImageBytes> openMemory(const fs::path& memory, const fs::path& tune)
{
    std::error_code ec;
    if (fs::exists(memory, ec))
        return loadMemory(memory);
    auto raw = loadTune(tune);
    if (!raw)
        return raw;
    if (memory.has_parent_path())
        fs::create_directories(memory.parent_path(), ec);
    if (auto saved = saveMemory(memory, raw.value()); !saved)
        return saved.error();
    return raw;
}

} // namespace kyr::sim
