// The filter object: identity, configuration block, required channels and the preset library path.
#include "KernelFilter.h"

#include "Module.h"
#include "Platform.h"

#include <cstdio>
#include <cstring>

namespace {
// One for the process (the g marks such state): every filter object's constructor writes it anew,
// from the one configuration folder the host has.
TCHAR gPresetLibraryPath[kPresetPathChars];
}

const TCHAR* KernelFilterBase::Description() { return kFilterInfo.displayName; }
const TCHAR* KernelFilterBase::AuthorName() { return kFilterInfo.author; }
const TCHAR* KernelFilterBase::CopyrightMessage() { return kFilterInfo.copyright; }
UINT KernelFilterBase::Version() { return kFilterInfo.version; }
DWORD KernelFilterBase::Capability() { return kFilterInfo.capability; }

KernelFilter::KernelFilter() : settings(DefaultFilterSettings()) { BuildPresetLibraryPath(); }

KernelFilter::~KernelFilter() = default;

DWORD KernelFilter::EvaluateConfigure() { return sizeof(FilterSettings); }

BOOL KernelFilter::SaveConfigure(void* ptr)
{
    if (!ptr) return FALSE;
    std::memcpy(ptr, &settings, sizeof settings);
    return TRUE;
}

BOOL KernelFilter::LoadConfigure(void* ptr)
{
    if (!ptr) return FALSE;
    uint32_t tag;
    std::memcpy(&tag, ptr, sizeof tag);
    if (tag != settings.tag) return FALSE;
    std::memcpy(&settings, ptr, sizeof settings);
    return TRUE;
}

DWORD KernelFilter::ChannelsRequired()
{
    switch (settings.sourceMode) {
    case kSourceMaterialEffects: return GB_CHAN_MTL_EFFECTS;
    case kSourceObject: return GB_CHAN_OBJECT;
    default: return 0;
    }
}

void KernelFilter::BuildPresetLibraryPath()
{
    Interface* ip = Max();
    const TCHAR* dir = ip ? ip->GetDir(APP_PLUGCFG_DIR) : nullptr;
    if (!dir) {
        gPresetLibraryPath[0] = '\0';
        return;
    }
    JoinPath(gPresetLibraryPath, sizeof gPresetLibraryPath, dir, kPresetFileName);
}

const TCHAR* PresetLibraryPath() { return gPresetLibraryPath; }

void JoinPath(char* out, size_t capacity, const char* dir, const char* name)
{
    const int n = std::snprintf(out, capacity, "%s%c%s", dir, kPathSeparator, name);
    if (n < 0 || static_cast<size_t>(n) >= capacity) out[0] = '\0';
}
