// Loads a plug-in module and finds its exports: dlopen natively, LoadLibrary on Windows.
#pragma once

#include <string>

class PluginModule {
public:
    PluginModule() = default;
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;
    ~PluginModule() { Close(); }

    // Loads the module at path; on failure returns false and says why in error.
    bool Open(const std::string& path, std::string& error);
    void Close();
    // The address of an export, or null.
    void* Symbol(const char* name) const;
    template <typename Proc>
    Proc Find(const char* name) const { return reinterpret_cast<Proc>(Symbol(name)); }

private:
    void* handle_ = nullptr;
};
