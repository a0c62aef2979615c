// INI text as the platform's profile functions read it: the rule for one line, one section of keys,
// and a whole text read into its sections.
#pragma once

#include <functional>
#include <map>
#include <string>

// Spaces, tabs and a line end's carriage return around a line, a name or a value do not count.
std::string TrimmedIniText(const std::string& text);

// One line of an INI file.
struct IniLine {
    enum class Kind {
        kBlank,   // nothing but spaces
        kHeader,  // "[name]": name trimmed
        kKey,     // "name=value": both trimmed, the value as written (quotes kept)
        kOther,   // anything else, trimmed in text: no "=", or a "[" without its "]"
    };
    Kind kind = Kind::kBlank;
    std::string name;
    std::string value;
    std::string text;
};
IniLine ReadIniLine(const std::string& line);

// A value as a key read gives it: one pair of enclosing quotes (double or single) removed.
std::string UnquotedIniValue(const std::string& value);

// One section of an INI file as read at one moment. Key names match without regard to case, the
// first of a repeated key wins, comment lines hold no key, and values come as a key-by-key read
// gives them: spaces around them trimmed, one pair of enclosing quotes removed. A section that the
// platform may have handed out cut short is read key by key through a lookup instead.
class IniSection {
public:
    // Reads one key's value from where the section lives; true when present and not empty.
    using Lookup = std::function<bool(const std::string& key, std::string& value)>;

    IniSection() = default;
    explicit IniSection(Lookup lookup) : lookup_(std::move(lookup)) {}
    // Takes one "key=value" line of the section; lines without "=" hold no key.
    void AddLine(const std::string& line);
    // True with the value when the key is present and not empty.
    bool Value(const std::string& key, std::string& value) const;
    // Numbered keys: stem followed by the number ("File" 2 -> "File2").
    bool Numbered(const char* stem, int number, std::string& value) const;

private:
    std::map<std::string, std::string> values_;  // by upper-case key name
    Lookup lookup_;                               // when set, every key is read through it
};

// Where the sections of an INI file come from: the file itself, or its text read whole.
class IniSource {
public:
    virtual ~IniSource() = default;
    // The section of that name; empty when there is none.
    virtual IniSection Section(const char* name) const = 0;
};

// A whole INI text read into sections as the profile functions give them: section names match
// without regard to case, and the first section of a name is the one read. Lines end in "\n",
// with or without "\r" before it.
class IniDocument final : public IniSource {
public:
    explicit IniDocument(const std::string& text);
    IniSection Section(const char* name) const override;

private:
    std::map<std::string, IniSection> sections_;  // by upper-case name
};
