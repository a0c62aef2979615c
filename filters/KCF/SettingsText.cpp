// Settings as text: bounded integer parsing, kernel rows, kcftool's block options and descriptions.
#include "SettingsText.h"

#include "PresetLibrary.h"
#include "WindowsArgument.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string Quote(const std::string& text)
{
    std::string shown = text.size() > 40 ? text.substr(0, 40) + "..." : text;
    return "'" + shown + "'";
}

const char* SourceName(int32_t mode)
{
    switch (mode) {
    case kSourceWholeImage: return "whole image";
    case kSourceMaterialEffects: return "material effects channel";
    case kSourceObject: return "object channel";
    default: return "unknown";
    }
}

}  // namespace

bool ParseBoundedInt(const std::string& text, const char* what, long long min, long long max, int32_t& out,
                     std::string& error)
{
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(s, &end, 10);
    const bool whole = !text.empty() && end == s + text.size() && std::strlen(s) == text.size();
    if (!whole || errno == ERANGE || value < min || value > max) {
        error = std::string(what) + " " + Quote(text) + " is not a whole number from " + std::to_string(min) + " to " +
                std::to_string(max);
        return false;
    }
    out = static_cast<int32_t>(value);
    return true;
}

bool ParseOffset(const std::string& text, int32_t& out, std::string& error)
{
    if (text.empty() || text.back() != '%') return ParseBoundedInt(text, "offset", -kSpinnerLimit, kSpinnerLimit, out, error);
    const std::string number = text.substr(0, text.size() - 1);
    char* end = nullptr;
    errno = 0;
    const double percent = number.empty() ? NAN : std::strtod(number.c_str(), &end);
    const double level = std::round(percent * 65535.0 / 100.0);
    if (number.empty() || end != number.c_str() + number.size() || errno == ERANGE || !std::isfinite(percent) ||
        std::fabs(level) > kSpinnerLimit) {
        error = "offset " + Quote(text) + " is not a percentage of the 16-bit range from -152% to 152%";
        return false;
    }
    out = static_cast<int32_t>(level);
    return true;
}

bool NormalizeDivisor(KernelRecord& kernel, std::string& error)
{
    const PackedKernel packed = PackKernel(kernel);  // the weights as Render applies them
    long long sum = 0;
    for (int i = 0; i < packed.size * packed.size; ++i) sum += packed.weights[i];
    if (sum < -kSpinnerLimit || sum > kSpinnerLimit) {
        error = "the weights sum to " + std::to_string(sum) + ", beyond the divisor's range -99999..99999";
        return false;
    }
    kernel.divisor = sum == 0 ? 1 : static_cast<int32_t>(sum);
    return true;
}

bool ParseKernel(const std::string& text, KernelRecord& kernel, std::string& error)
{
    std::vector<std::vector<int32_t>> rows;
    size_t start = 0;
    for (;;) {
        const size_t semi = text.find(';', start);
        const std::string rowText = text.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
        std::vector<int32_t> row;
        size_t i = 0;
        while (i < rowText.size()) {
            while (i < rowText.size() && (rowText[i] == ' ' || rowText[i] == '\t' || rowText[i] == ',')) ++i;
            if (i == rowText.size()) break;
            size_t j = i;
            while (j < rowText.size() && rowText[j] != ' ' && rowText[j] != '\t' && rowText[j] != ',') ++j;
            int32_t value;
            if (!ParseBoundedInt(rowText.substr(i, j - i), "kernel weight", INT32_MIN, INT32_MAX, value, error))
                return false;
            row.push_back(value);
            if (row.size() > kGridSide) {
                error = "kernel row " + std::to_string(rows.size() + 1) + " has more than 9 weights";
                return false;
            }
            i = j;
        }
        rows.push_back(std::move(row));
        if (rows.size() > kGridSide) {
            error = "the kernel has more than 9 rows";
            return false;
        }
        if (semi == std::string::npos) break;
        start = semi + 1;
    }
    // A trailing ';' leaves an empty last row: forgive it.
    if (rows.size() > 1 && rows.back().empty()) rows.pop_back();
    const int size = static_cast<int>(rows.size());
    if (!IsKernelSize(size)) {
        error = "the kernel has " + std::to_string(size) + " rows; it needs 3, 5, 7 or 9";
        return false;
    }
    for (int r = 0; r < size; ++r) {
        if (static_cast<int>(rows[r].size()) != size) {
            error = "kernel row " + std::to_string(r + 1) + " has " + std::to_string(rows[r].size()) +
                    " weights; every row needs " + std::to_string(size);
            return false;
        }
    }
    std::memset(kernel.weights, 0, sizeof kernel.weights);
    for (int r = 0; r < size; ++r)
        for (int c = 0; c < size; ++c) kernel.weights[SubKernelCell(size, r, c)] = rows[r][c];
    SetSizeFromWeights(kernel);
    return true;
}

bool ParseBlockOptions(const std::vector<std::string>& args, FilterSettings& s, BlockOptions& o, std::string& error)
{
    bool divisorGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--invert") {
            s.kernel.invert = 1;
            continue;
        }
        if (a == "--normalize") {
            o.normalize = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            error = "missing value after " + a;
            return false;
        }
        const std::string& v = args[++i];
        bool ok = true;
        if (a == "--out") o.outPath = v;
        else if (a == "--kernel") {
            ok = ParseKernel(v, s.kernel, error);
            o.kernelGiven = true;
        }
        else if (a == "--divisor") {
            ok = ParseBoundedInt(v, "divisor", -kSpinnerLimit, kSpinnerLimit, s.kernel.divisor, error);
            divisorGiven = true;
        }
        else if (a == "--offset") ok = ParseOffset(v, s.kernel.offset, error);
        else if (a == "--mtl-id") ok = ParseBoundedInt(v, "material effects id", 0, kMaxMaterialId, s.materialId, error);
        else if (a == "--obj-id") ok = ParseBoundedInt(v, "object id", 0, kMaxObjectId, s.objectId, error);
        else if (a == "--preset") o.presetName = v;
        else if (a == "--library") o.libraryPath = v;
        else if (a == "--source") {
            if (v == "whole") s.sourceMode = kSourceWholeImage;
            else if (v == "mtl") s.sourceMode = kSourceMaterialEffects;
            else if (v == "obj") s.sourceMode = kSourceObject;
            else {
                error = "source " + Quote(v) + " is not one of whole, mtl, obj";
                return false;
            }
        } else if (a == "--name") {
            if (v.size() >= sizeof s.presetName || v.find('\n') != std::string::npos || v.find('\r') != std::string::npos) {
                error = "name " + Quote(v) + " must be one line of at most 255 characters";
                return false;
            }
            std::memset(s.presetName, 0, sizeof s.presetName);
            std::memcpy(s.presetName, v.data(), v.size());
        } else {
            error = "unknown option " + a;
            return false;
        }
        if (!ok) return false;
    }
    if (o.outRequired && o.outPath.empty()) {
        error = "block needs --out BLOCK";
        return false;
    }
    if (o.presetName.empty() != o.libraryPath.empty()) {
        error = "--preset NAME and --library FILE go together";
        return false;
    }
    if (!o.presetName.empty() && o.kernelGiven) {
        error = "give either --kernel or --preset, not both";
        return false;
    }
    if (o.normalize && divisorGiven) {
        error = "give either --divisor or --normalize, not both";
        return false;
    }
    return true;
}

bool CheckBlock(const std::vector<unsigned char>& bytes, FilterSettings& out, std::string& error)
{
    if (bytes.size() != sizeof(FilterSettings)) {
        error = "a configuration block is " + std::to_string(sizeof(FilterSettings)) + " bytes; this one is " +
                std::to_string(bytes.size());
        return false;
    }
    std::memcpy(&out, bytes.data(), sizeof out);
    if (out.tag != kSettingsTag) {
        char text[96];
        std::snprintf(text, sizeof text, "not a Kernelcraft Filter block (tag 0x%08lX, expected 0x%08lX)",
                      static_cast<unsigned long>(out.tag), static_cast<unsigned long>(kSettingsTag));
        error = text;
        return false;
    }
    return true;
}

std::string DescribeKernel(const KernelRecord& k)
{
    std::string text;
    char line[160];
    std::snprintf(line, sizeof line, "size:     %ld%s\n", static_cast<long>(k.size),
                  IsKernelSize(k.size) ? "" : " (damaged: not 3, 5, 7 or 9)");
    text += line;
    text += "grid:\n";
    // Right-aligned in columns as wide as the widest weight; built as strings, never cut at a buffer's end.
    size_t width = 1;
    for (int32_t w : k.weights) width = std::max(width, std::to_string(w).size());
    for (int r = 0; r < kGridSide; ++r) {
        text += "   ";
        for (int c = 0; c < kGridSide; ++c) {
            const std::string number = std::to_string(k.weights[r * kGridSide + c]);
            text += std::string(1 + width - number.size(), ' ') + number;
        }
        text += "\n";
    }
    std::snprintf(line, sizeof line, "divisor:  %ld%s\noffset:   %ld\ninvert:   %ld%s\n", static_cast<long>(k.divisor),
                  k.divisor == 0 ? " (no division)" : "", static_cast<long>(k.offset), static_cast<long>(k.invert),
                  k.invert == 1 ? " (inverted)" : " (not inverted)");
    text += line;
    return text;
}

std::string DescribeSettings(const FilterSettings& s)
{
    std::string text = DescribeKernel(s.kernel);
    char line[160];
    std::snprintf(line, sizeof line, "source:   %s (%ld)\nmtl id:   %ld\nobj id:   %ld\n", SourceName(s.sourceMode),
                  static_cast<long>(s.sourceMode), static_cast<long>(s.materialId), static_cast<long>(s.objectId));
    text += line;
    // A damaged block may lack the terminator: never read past the field.
    text += "name:     \"" + std::string(s.presetName, strnlen(s.presetName, sizeof s.presetName)) + "\"\n";
    return text;
}

namespace {

// A word the command line gives back as it is: bare when it is plain; else, for a POSIX shell, in
// single quotes, and for Windows as the C runtime reads it back.
std::string ShellWord(const std::string& text, CommandLineStyle style)
{
    const bool plain = !text.empty() && text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                             "0123456789-_.,:/+=@") == std::string::npos;
    if (plain) return text;
    if (style == CommandLineStyle::Posix) {
        std::string quoted = "'";
        for (char c : text) {
            if (c == '\'') quoted += "'\"'\"'";
            else quoted += c;
        }
        return quoted + "'";
    }
    return QuotedWindowsArgument(text);
}

}  // namespace

std::string SettingsAsArgs(const FilterSettings& s, CommandLineStyle style, std::vector<std::string>& notes)
{
    const KernelRecord& k = s.kernel;
    // Every weight, wherever it is: the block that holds them all, which --kernel sizes by the rule.
    const int size = EnclosingKernelSize(k.weights);
    std::string rows;
    for (int r = 0; r < size; ++r) {
        if (r) rows += "; ";
        for (int c = 0; c < size; ++c) {
            if (c) rows += ' ';
            rows += std::to_string(k.weights[SubKernelCell(size, r, c)]);
        }
    }
    std::string args = "--kernel \"" + rows + "\" --divisor " + std::to_string(k.divisor) + " --offset " +
                       std::to_string(k.offset);
    if (k.invert == 1) args += " --invert";
    const char* source = s.sourceMode == kSourceMaterialEffects ? "mtl" : s.sourceMode == kSourceObject ? "obj" : "whole";
    args += std::string(" --source ") + source + " --mtl-id " + std::to_string(s.materialId) + " --obj-id " +
            std::to_string(s.objectId);
    const std::string name(s.presetName, strnlen(s.presetName, sizeof s.presetName));
    // cmd reads no escaped quote and acts on & | < > ^ outside quotes, and expands % and ! even
    // inside them: a name with any of these cannot be quoted for it safely, so it is left out.
    const bool unsafeForCmd = style == CommandLineStyle::Windows && name.find_first_of("\"%!^&|<>\r\n") != std::string::npos;
    if (!name.empty() && !unsafeForCmd) args += " --name " + ShellWord(name, style);

    auto outside = [&](const char* what, int32_t value, int32_t min, int32_t max) {
        if (value < min || value > max)
            notes.push_back(std::string(what) + " " + std::to_string(value) + " is beyond " + std::to_string(min) + ".." +
                            std::to_string(max) + ": the options above are refused until it is changed");
    };
    outside("divisor", k.divisor, -kSpinnerLimit, kSpinnerLimit);
    outside("offset", k.offset, -kSpinnerLimit, kSpinnerLimit);
    outside("material effects id", s.materialId, 0, kMaxMaterialId);
    outside("object id", s.objectId, 0, kMaxObjectId);
    if (k.invert != 0 && k.invert != 1)
        notes.push_back("invert " + std::to_string(k.invert) + " does not invert; the options say 0");
    if (s.sourceMode != kSourceWholeImage && s.sourceMode != kSourceMaterialEffects && s.sourceMode != kSourceObject)
        notes.push_back("source mode " + std::to_string(s.sourceMode) + " filters nothing; the options say whole");
    const int weightsSize = KernelSizeOf(k.weights);
    if (k.size != weightsSize)
        notes.push_back("the stored size " + std::to_string(k.size) + " is not the weights' size " +
                        std::to_string(weightsSize) + "; the options give the weights' size");
    if (unsafeForCmd)
        notes.push_back("the name holds one of \" % ! ^ & | < > or a line end, which cmd cannot take safely: "
                        "--name is left out; give it by hand");
    else if (name.find_first_of("\r\n") != std::string::npos)
        notes.push_back("the name holds a line break");
    return args;
}

Resolved ResolveBlockOptions(const std::vector<std::string>& args, const BlockOptions& o, FilterSettings& s,
                             std::string& error)
{
    const auto given = [&](const char* option) { return std::find(args.begin(), args.end(), option) != args.end(); };
    if (!o.presetName.empty()) {
        for (const char* clash : {"--divisor", "--offset", "--invert"})
            if (given(clash)) {
                error = std::string("give either --preset or ") + clash + ", not both";
                return Resolved::Usage;
            }
        error.clear();
        // A library that cannot be read is told once, by the reader; a missing name gets the nearest.
        if (FILE* library = OpenPresetLibrary(o.libraryPath.c_str())) std::fclose(library);
        else return Resolved::Failed;
        KernelRecord found = s.kernel;
        if (!FindPreset(o.libraryPath.c_str(), o.presetName.c_str(), &found)) {
            std::vector<std::string> names;
            if (!ListPresetNames(o.libraryPath.c_str(), names)) return Resolved::Failed;
            error = "no preset named \"" + o.presetName + "\" in " + o.libraryPath;
            const std::vector<std::string> nearest = NearestPresetNames(names, o.presetName, 3);
            for (size_t i = 0; i < nearest.size(); ++i) {
                error += i == 0 ? "; did you mean \"" : i + 1 == nearest.size() ? "\" or \"" : "\", \"";
                error += nearest[i];
            }
            if (!nearest.empty()) error += "\"?";
            return Resolved::Failed;
        }
        s.kernel = found;
        SetSizeFromWeights(s.kernel);  // as the dialog shows it
        if (!given("--name") && o.presetName.size() < sizeof s.presetName) {
            std::memset(s.presetName, 0, sizeof s.presetName);
            std::memcpy(s.presetName, o.presetName.c_str(), o.presetName.size());
        }
    }
    if (o.normalize && !NormalizeDivisor(s.kernel, error)) return Resolved::Failed;
    return Resolved::Done;
}
