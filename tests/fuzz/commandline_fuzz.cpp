// The command line (installer/commandline.*) on arbitrary text: the tokens
// are exactly the runs of characters other than blank and double quote, in
// order, and launching is disabled exactly when one token is "-nolaunch" in
// some letter case.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "commandline.h"

namespace {

class Recorder : public InstallerCommandLineParser {
public:
    std::vector<std::string> tokens;

protected:
    void OnToken(const char* token) override {
        tokens.emplace_back(token);
        InstallerCommandLineParser::OnToken(token);
    }
};

std::vector<std::string> ExpectedTokens(const std::string& line) {
    std::vector<std::string> tokens;
    std::string current;
    for (char c : line) {
        if (c == ' ' || c == '"') {
            if (!current.empty())
                tokens.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        tokens.push_back(current);
    return tokens;
}

bool IsNoLaunch(const std::string& token) {
    static const char kSwitch[] = "-nolaunch";
    if (token.size() != sizeof kSwitch - 1)
        return false;
    for (size_t i = 0; i < token.size(); ++i) {
        char c = token[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != kSwitch[i])
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    const std::string line(reinterpret_cast<const char*>(data), size);
    const std::string asC = line.c_str();  // the parser sees the text up to the first NUL
    Recorder parser;
    parser.Parse(asC.c_str());
    const std::vector<std::string> expected = ExpectedTokens(asC);
    if (parser.tokens != expected)
        std::abort();
    bool noLaunch = false;
    for (const std::string& t : expected)
        noLaunch = noLaunch || IsNoLaunch(t);
    if (parser.IsLaunchEnabled == noLaunch)
        std::abort();
    return 0;
}
