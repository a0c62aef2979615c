// Loads a plug-in module with dlopen.
#include "ModuleLoader.h"

#include <dlfcn.h>

bool PluginModule::Open(const std::string& path, std::string& error)
{
    Close();
    // dlopen looks a bare name up in the library path; a plug-in is always named by its file.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error = why ? why : "cannot load the module";
        return false;
    }
    return true;
}

void PluginModule::Close()
{
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
}

void* PluginModule::Symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }
