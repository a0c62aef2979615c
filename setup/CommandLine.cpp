// Command-line parsing: switches in any case, quoted values, and /D= taking the rest of the line.
#include "CommandLine.h"

#include <cctype>

namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() || std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

std::string Unquote(std::string text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
    return text;
}

}  // namespace

SetupOptions ParseCommandLine(const std::string& line)
{
    SetupOptions options;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        const std::string rest = line.substr(i);
        if (StartsWithNoCase(rest, "/D=")) {
            // As installers have it: the directory is the rest of the line, spaces and all.
            options.directory = Unquote(rest.substr(3));
            break;
        }
        // One token, with double-quoted stretches kept together.
        std::string token;
        bool quoted = false;
        for (; i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t')); ++i) {
            if (line[i] == '"') quoted = !quoted;
            else token += line[i];
        }
        if (StartsWithNoCase(token, "/S") && token.size() == 2) options.silent = true;
        else if (StartsWithNoCase(token, "/LOG=") && token.size() > 5) options.logFile = token.substr(5);
        else if (options.error.empty())
            options.error = StartsWithNoCase(token, "/LOG=") ? "Bad switch: /LOG= names no file" : "Unknown switch: " + token;
    }
    return options;
}
