// The exit codes: README.md's tables against the enums of
// protocols/exitcodes.h, and the one mapping from a run's outcome to the
// installer's exit code.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "exitcodes.h"
#include "installoutcome.h"
#include "test_paths.h"

namespace {

// The values of `enum name ... { ... };` in the header's text, each given as
// a number.
std::set<int> EnumValues(const std::string& header, const std::string& name) {
    std::set<int> values;
    const size_t at = header.find("enum " + name);
    EXPECT_NE(at, std::string::npos) << "no enum " << name << " in protocols/exitcodes.h";
    if (at == std::string::npos)
        return values;
    const std::string body = header.substr(at, header.find("};", at) - at);
    const std::regex value(R"(\bk\w+\s*=\s*(-?[0-9]+)\s*,)");
    for (std::sregex_iterator it(body.begin(), body.end(), value), end; it != end; ++it)
        values.insert(std::stoi((*it)[1].str()));
    return values;
}

// The codes in the first column of the README table that follows the first
// line naming `marker`.
std::set<int> ReadmeTableCodes(const std::string& readme, const std::string& marker) {
    std::set<int> codes;
    const size_t at = readme.find(marker);
    EXPECT_NE(at, std::string::npos) << "README.md does not name " << marker;
    if (at == std::string::npos)
        return codes;
    size_t line = readme.find("\n|", at);
    // The table: consecutive lines that start with '|'.
    const std::regex row(R"(^\|\s*(-?[0-9]+)\s*\|)");
    while (line != std::string::npos && line + 1 < readme.size() && readme[line + 1] == '|') {
        const size_t end = readme.find('\n', line + 1);
        const std::string text = readme.substr(line + 1, end - line - 1);
        std::smatch m;
        if (std::regex_search(text, m, row))
            codes.insert(std::stoi(m[1].str()));
        line = end;
    }
    return codes;
}

TEST(ExitCodeTables, TheReadmeListsEveryInstallerAndUninstallerCodeAndNoOther) {
    const std::string header = ReadWholeFile(SourcePath("protocols/exitcodes.h"));
    const std::string readme = ReadWholeFile(SourcePath("README.md"));
    const std::set<int> installer = EnumValues(header, "InstallerExitCode");
    const std::set<int> uninstaller = EnumValues(header, "UninstallerExitCode");
    ASSERT_GE(installer.size(), 5u) << "the header's enum no longer reads as expected";
    ASSERT_GE(uninstaller.size(), 5u) << "the header's enum no longer reads as expected";
    EXPECT_EQ(ReadmeTableCodes(readme, "`InstallerExitCode`"), installer);
    EXPECT_EQ(ReadmeTableCodes(readme, "`UninstallerExitCode`"), uninstaller);
}

TEST(ExitCodeTables, EachOutcomeEndsTheProcessWithItsDocumentedCode) {
    EXPECT_EQ(ExitCodeForCompletion(kInstallFinished), kExitInstalled);
    EXPECT_EQ(ExitCodeForCompletion(kInstallArchiveError), kExitDamaged);
    EXPECT_EQ(ExitCodeForCompletion(kInstallRegistryError), kExitRegistrationFailed);
    EXPECT_EQ(ExitCodeForCompletion(kInstallErrorWithText), kExitCannotWrite);
    EXPECT_EQ(ExitCodeForCompletion(kInstallGeneralError), kExitUnexpected);
    EXPECT_EQ(ExitCodeForCompletion(kInstallStopped), kExitCanceled);
    // A run that reported nothing did not install: never read as success.
    EXPECT_EQ(ExitCodeForCompletion(0), kExitUnexpected);
}

}  // namespace
