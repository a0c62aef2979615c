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

const char kUsageText[] =
    "setup.exe [/S] [/U] [/LOG=FILE] [/D=PROGRAMDIR]\r\n"
    "\r\n"
    "(nothing)\tthe Setup dialog\r\n"
    "/U\tuninstall: the dialog asks first, then lists what it does\r\n"
    "/S\tsilent: no window, progress lines to standard output\r\n"
    "/LOG=FILE\twith /S: the progress lines also into FILE\r\n"
    "/D=PROGRAMDIR\twith /S: the MAX program folder to act on (last: it may hold spaces)\r\n"
    "/?\tthis text\r\n"
    "\r\n"
    "Exit codes of /S: 0 done, 1 refused (nothing done), 2 done in part (see the log).\r\n";

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
        else if (StartsWithNoCase(token, "/U") && token.size() == 2) options.uninstall = true;
        else if (token == "/?") options.help = true;
        else if (StartsWithNoCase(token, "/LOG=") && token.size() > 5) options.logFile = token.substr(5);
        else if (options.error.empty())
            options.error = StartsWithNoCase(token, "/LOG=") ? "Bad switch: /LOG= names no file" : "Unknown switch: " + token;
    }
    return options;
}
