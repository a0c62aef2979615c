// Settings as text: bounded integer parsing, kernel rows, kcftool's block options and descriptions.
#include "SettingsText.h"

#include <algorithm>
#include <cerrno>
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
    const int origin = SubKernelOrigin(size);
    for (int r = 0; r < size; ++r)
        for (int c = 0; c < size; ++c) kernel.weights[(origin + r) * kGridSide + origin + c] = rows[r][c];
    kernel.size = KernelSizeOf(kernel.weights);
    return true;
}

bool ParseBlockOptions(const std::vector<std::string>& args, FilterSettings& s, BlockOptions& o, std::string& error)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--invert") {
            s.kernel.invert = 1;
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
        else if (a == "--divisor") ok = ParseBoundedInt(v, "divisor", -kSpinnerLimit, kSpinnerLimit, s.kernel.divisor, error);
        else if (a == "--offset") ok = ParseBoundedInt(v, "offset", -kSpinnerLimit, kSpinnerLimit, s.kernel.offset, error);
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
    if (o.outPath.empty()) {
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
