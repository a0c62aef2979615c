// Loads a plug-in module with LoadLibrary.
#include "ModuleLoader.h"

#include <windows.h>

bool PluginModule::Open(const std::string& path, std::string& error)
{
    Close();
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(path.c_str());
    const DWORD code = GetLastError();
    SetErrorMode(oldMode);
    if (!module) {
        char text[256] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                       sizeof text, nullptr);
        std::string why = text;
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ')) why.pop_back();
        error = path + ": " + (why.empty() ? "cannot load the module (error " + std::to_string(code) + ")" : why);
        return false;
    }
    handle_ = module;
    return true;
}

void PluginModule::Close()
{
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

void* PluginModule::Symbol(const char* name) const
{
    return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}
