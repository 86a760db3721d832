// ARCHITECTURE.md states figures about the installer's threads; these cases
// hold it to the code, so that a changed queue or a new thread cannot leave
// the document behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "payloadfiles.h"
#include "test_paths.h"

namespace fs = std::filesystem;

namespace {

// The lines of the "## Threads" table, header and separator left out.
std::vector<std::string> ThreadTableRows() {
    const std::string text = ReadWholeFile(SourcePath("ARCHITECTURE.md"));
    const size_t section = text.find("\n## Threads\n");
    EXPECT_NE(section, std::string::npos) << "ARCHITECTURE.md has no \"## Threads\" section";
    std::vector<std::string> rows;
    if (section == std::string::npos)
        return rows;
    size_t at = text.find("\n|", section);
    bool inTable = false;
    while (at != std::string::npos && at + 1 < text.size() && text[at + 1] == '|') {
        const size_t end = text.find('\n', at + 1);
        const std::string line = text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        if (inTable && line.rfind("|---", 0) != 0)
            rows.push_back(line);
        inTable = true;
        at = end;
    }
    return rows;
}

// Every statement in the production code that starts a thread, with its file.
struct ThreadStart {
    std::string file;
    std::string line;
};
std::vector<ThreadStart> ThreadStartsInProduction() {
    const std::regex start(R"((CreateThread|_beginthreadex)\s*\(|std::thread\s*\()");
    std::vector<ThreadStart> starts;
    for (const char* folder : {"installer", "plib", "protocols"}) {
        for (const auto& entry : fs::recursive_directory_iterator(SourcePath(folder))) {
            const std::string name = entry.path().filename().string();
            if (!entry.is_regular_file() || name.size() < 4 || name.substr(name.size() - 4) != ".cpp")
                continue;
            const std::string text = ReadWholeFile(entry.path().string());
            size_t from = 0;
            while (from < text.size()) {
                size_t end = text.find('\n', from);
                if (end == std::string::npos)
                    end = text.size();
                const std::string line = text.substr(from, end - from);
                const size_t comment = line.find("//");
                if (std::regex_search(line.substr(0, comment), start))
                    starts.push_back({entry.path().string(), line});
                from = end + 1;
            }
        }
    }
    return starts;
}

TEST(ArchitectureDocument, TheWriterQueueItStatesIsTheOneTheWriterIsGiven) {
    std::smatch figure;
    std::string writerRow;
    for (const std::string& row : ThreadTableRows())
        if (row.find("CPayloadQueuedWriter") != std::string::npos)
            writerRow = row;
    ASSERT_FALSE(writerRow.empty()) << "no row of the thread table names CPayloadQueuedWriter";
    ASSERT_TRUE(std::regex_search(writerRow, figure, std::regex(R"(([0-9]+) (KiB|MiB) queue)")))
        << "the writer's row states no queue size: " << writerRow;
    const uint64_t unit = figure[2] == "MiB" ? 1024 * 1024 : 1024;
    EXPECT_EQ(std::stoull(figure[1]) * unit, uint64_t(kPayloadWriteQueueBytes)) << writerRow;
}

TEST(ArchitectureDocument, EveryThreadTheCodeStartsHasItsRowAndNoRowIsLeftOver) {
    const std::vector<std::string> rows = ThreadTableRows();
    const std::vector<ThreadStart> starts = ThreadStartsInProduction();
    ASSERT_FALSE(starts.empty()) << "no thread start found: the search no longer matches the code";
    // The main thread is started by the system; each other row is one start.
    EXPECT_EQ(rows.size(), starts.size() + 1) << "ARCHITECTURE.md's thread table has " << rows.size()
                                              << " rows for the main thread and " << starts.size()
                                              << " thread starts in the code";
    // Each start names, in its statement, the class that a row names in backticks.
    for (const ThreadStart& s : starts) {
        bool described = false;
        for (const std::string& row : rows) {
            std::smatch owner;
            if (std::regex_search(row, owner, std::regex("`([A-Za-z_][A-Za-z0-9_]*)`")) &&
                s.line.find(owner[1].str() + "::") != std::string::npos)
                described = true;
        }
        EXPECT_TRUE(described) << s.file << ": \"" << s.line << "\" starts a thread no row of the table names";
    }
}

}  // namespace
