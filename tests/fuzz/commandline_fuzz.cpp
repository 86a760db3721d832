// The command line (installer/commandline.*) on arbitrary text. Without an
// equals sign the tokens are exactly the runs of characters other than blank
// and double quote, in order. With one, a quoted value may keep its blanks
// ("-dir=C:\a b", -dir="C:\a b"): then the tokens hold no quote, none is
// empty, and together they hold every character of the line but the blanks
// and quotes, in order, none lost and none made up. Launching is disabled
// exactly when one token is "-nolaunch" in some letter case.
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

// The text without blanks and quotes: what no tokenising may lose or add.
std::string Significant(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != ' ' && c != '"')
            out += c;
    return out;
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
    if (asC.find('=') == std::string::npos && parser.tokens != ExpectedTokens(asC))
        std::abort();
    std::string joined;
    for (const std::string& t : parser.tokens) {
        if (t.empty() || t.find('"') != std::string::npos)
            std::abort();
        joined += t;
    }
    if (Significant(joined) != Significant(asC))
        std::abort();
    bool noLaunch = false;
    for (const std::string& t : parser.tokens)
        noLaunch = noLaunch || IsNoLaunch(t);
    if (parser.IsLaunchEnabled == noLaunch)
        std::abort();
    return 0;
}
