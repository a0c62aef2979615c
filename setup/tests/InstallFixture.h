// A fixture for install runs: a fake host 6.0 registered in the test's own registry tree, a
// package folder with SETUP.INI and SETUP_FILES, Windows folders of its own, a records folder and an
// Uninstall key of its own, a scripted desktop, and profile writes that can be made to fail.
#pragma once

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

// The last progress line of an install that ran, and of one that left something out.
inline const std::string kFinished = "Setup is finished. Restart MAX to load the new plug-ins.";
inline const std::string kFinishedInPart =
    "Setup is finished, but not all of it was installed (see above). Restart MAX to load the new plug-ins.";

class InstallFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        hostDir = MakeFakeHost(temp / "max6");
        registry.AddHost("6.0", hostDir);
        packageDir = temp / "package";
        MakeDir(packageDir);
        MakeDir(packageDir + "\\SETUP_FILES");
        MakeDir(temp / "windows");
        MakeDir(temp / "system32");
    }

    void Script(const std::string& text) { WriteText(packageDir + "\\SETUP.INI", text); }
    // A file in SETUP_FILES; a sub-path gets its folders.
    void Source(const std::string& name, const std::string& text = "payload")
    {
        std::string folder = packageDir + "\\SETUP_FILES";
        for (size_t at = name.find('\\'); at != std::string::npos; at = name.find('\\', at + 1))
            MakeDir(folder + "\\" + name.substr(0, at));
        WriteText(folder + "\\" + name, text);
    }
    std::string SourcePath(const std::string& name) const { return packageDir + "\\SETUP_FILES\\" + name; }

    InstallEnvironment Environment()
    {
        InstallEnvironment environment = registry.Environment();
        environment.windowsDirectory = temp / "windows";
        environment.systemDirectory = temp / "system32";
        environment.profileWriter = &writer;
        environment.recordBase = records.Path();
        return environment;
    }
    // Loads the script and selects the host as the Setup dialog does at start.
    InstallScript& Load()
    {
        script = std::make_unique<InstallScript>(Environment());
        EXPECT_TRUE(script->Load(nullptr, nullptr, packageDir));
        script->SelectEntry(script->StartEntry());
        return *script;
    }
    int Install() { return script->Install(log); }
    std::string Host(const std::string& relative) const { return hostDir + relative; }

    TempDir temp;
    TempDir records;  // outside the tree the tests compare
    RegistryTree registry;
    ScriptedDesktop desktop;
    DesktopOverride useDesktop{desktop};
    VectorLog log;
    FullDiskWriter writer;
    std::string hostDir;
    std::string packageDir;
    std::unique_ptr<InstallScript> script;
};
