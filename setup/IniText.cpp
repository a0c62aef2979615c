// INI text: the one rule for a line that the installer's section reads and its INI file checks share.
#include "IniText.h"

#include "Text.h"

std::string TrimmedIniText(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

IniLine ReadIniLine(const std::string& line)
{
    IniLine read;
    const std::string text = TrimmedIniText(line);
    if (text.empty()) return read;
    const size_t close = text.find(']');
    const size_t equals = text.find('=');
    if (text[0] == '[' && close != std::string::npos) {
        read.kind = IniLine::Kind::kHeader;
        read.name = TrimmedIniText(text.substr(1, close - 1));
    } else if (text[0] != '[' && equals != std::string::npos) {
        read.kind = IniLine::Kind::kKey;
        read.name = TrimmedIniText(text.substr(0, equals));
        read.value = TrimmedIniText(text.substr(equals + 1));
    } else {
        read.kind = IniLine::Kind::kOther;
        read.text = text;
    }
    return read;
}

std::string UnquotedIniValue(const std::string& value)
{
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}

void IniSection::AddLine(const std::string& line)
{
    const IniLine read = ReadIniLine(line);
    if (read.kind != IniLine::Kind::kKey || read.name.empty() || read.name[0] == ';') return;
    values_.emplace(UpperCase(read.name), UnquotedIniValue(read.value));
}

bool IniSection::Value(const std::string& key, std::string& value) const
{
    if (lookup_) return lookup_(key, value);
    const auto found = values_.find(UpperCase(key));
    value = found == values_.end() ? std::string() : found->second;
    return !value.empty();
}

bool IniSection::Numbered(const char* stem, int number, std::string& value) const
{
    return Value(NumberedKey(stem, number), value);
}

IniDocument::IniDocument(const std::string& text)
{
    IniSection* section = nullptr;  // lines before the first header, or in a repeated section, are not read
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const IniLine read = ReadIniLine(line);
        if (read.kind == IniLine::Kind::kHeader) {
            const auto [where, added] = sections_.try_emplace(UpperCase(read.name));
            section = added ? &where->second : nullptr;
        } else if (section) {
            section->AddLine(line);
        }
    }
}

IniSection IniDocument::Section(const char* name) const
{
    const auto found = sections_.find(UpperCase(TrimmedIniText(name)));
    return found == sections_.end() ? IniSection() : found->second;
}
