// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the benchmarks share for bench/run: the --rows switch, one JSON line
// per figure ({"id": ..., "unit": ..., "samples": [...]}), and a file chooser
// that always answers with one file (the Data Logger's "Record to File").

#include "app/common/FileChooser.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace kyr::bench {

/// Whether the arguments hold --rows (the machine-readable output).
inline bool rowsWanted(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--rows"))
            return true;
    return false;
}

/// One figure as a JSON line on stdout.
inline void printRow(const std::string& id, const std::vector<double>& samples, const char* unit = "ms")
{
    std::printf("{\"id\": \"%s\", \"unit\": \"%s\", \"samples\": [", id.c_str(), unit);
    for (std::size_t i = 0; i < samples.size(); ++i)
        std::printf("%s%.4g", i ? ", " : "", samples[i]);
    std::printf("]}\n");
    std::fflush(stdout);
}

/// Answers every save with one path and cancels every open.
class FixedSaveFile final : public app::FileChooser {
public:
    explicit FixedSaveFile(QString path) : m_path(std::move(path)) {}
    QString openFileName(const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&) override { return m_path; }
    int chooseBackup(const QString&, const QStringList&) override { return -1; }

private:
    QString m_path;
};

} // namespace kyr::bench
