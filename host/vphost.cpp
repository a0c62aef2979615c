// vphost: a stand-in Video Post host that loads an image-filter module and runs it over image files.
#include "HostCore.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: vphost info --filter MODULE\n");
    return 2;
}

int Info(const std::string& modulePath)
{
    FilterModule module;
    std::string error;
    if (!LoadFilterModule(modulePath, module, error)) {
        std::fprintf(stderr, "vphost: %s\n", error.c_str());
        return 1;
    }
    ClassDesc* desc = module.filterClass;
    const Class_ID id = desc->ClassID();
    std::printf("module:       %s\n", modulePath.c_str());
    std::printf("description:  %s\n", module.libDescription());
    std::printf("version:      0x%08lX\n", static_cast<unsigned long>(module.libVersion()));
    std::printf("classes:      %d\n", module.libNumberClasses());
    std::printf("class name:   %s\n", desc->ClassName());
    std::printf("category:     %s\n", desc->Category());
    std::printf("class id:     (0x%08lX, 0x%08lX)\n", static_cast<unsigned long>(id.PartA()),
                static_cast<unsigned long>(id.PartB()));
    std::printf("super-class:  0x%08lX\n", static_cast<unsigned long>(desc->SuperClassID()));
    std::printf("plug-in cfg:  %s\n", HostPlugCfgDir().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage();
    std::string modulePath;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--filter" && i + 1 < args.size()) modulePath = args[++i];
        else return Usage();
    }
    if (args[0] == "info" && !modulePath.empty()) return Info(modulePath);
    return Usage();
}
