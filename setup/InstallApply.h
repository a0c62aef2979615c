// The install's last stage: runs a plan action by action, asks the user through one prompter,
// writes the progress lines, and keeps the record that uninstall reads.
#pragma once

#include "IniGuard.h"
#include "InstallPlan.h"
#include "InstallRecord.h"
#include "ProgressLog.h"

#include <windows.h>

#include <string>
#include <vector>

// Every question and message of an install or uninstall goes through here.
class Prompter {
public:
    virtual ~Prompter() = default;
    // A copy failed: IDABORT, IDRETRY or IDIGNORE.
    virtual int AskFailedCopy(const std::string& target) = 0;
    // "format" with one argument, caption "Error", OK.
    virtual void Tell(const char* format, const std::string& argument) = 0;
    // The window that owns what the install opens.
    virtual HWND Owner() const { return nullptr; }
};

// The desktop's message boxes, owned by one window.
class DesktopPrompter final : public Prompter {
public:
    explicit DesktopPrompter(HWND owner) : owner_(owner) {}
    int AskFailedCopy(const std::string& target) override;
    void Tell(const char* format, const std::string& argument) override;
    HWND Owner() const override { return owner_; }

private:
    HWND owner_;
};

// The host INI files a plan registers in, by their role.
struct HostInis {
    const IniFile* maxIni = nullptr;
    const IniFile* pluginIni = nullptr;
    const IniFile& Of(HostIni which) const { return which == HostIni::kMax ? *maxIni : *pluginIni; }
};

class PlanApplier {
public:
    // record may be null: nothing is kept for uninstall.
    PlanApplier(IniGuard& guard, HostInis inis, Prompter& prompter, ProgressLog& log, InstallRecord* record)
        : guard_(guard), inis_(inis), prompter_(prompter), log_(log), record_(record)
    {
    }
    void Apply(const InstallPlan& plan);
    bool Aborted() const { return aborted_; }
    // INI files that refused a registration, each named to the user once.
    const std::vector<std::string>& Unwritable() const { return unwritable_; }

    // Writes a registration through the guard; a file that refuses it is named to the user once
    // and not written again. Answers whether the key now holds the value.
    bool Register(const IniFile& ini, const std::string& section, const std::string& key, const std::string& value);
    // Removes a key the same way; answers whether it is gone.
    // Removes a section that holds no key any more, guarded; false (and the user told) when it cannot.
    bool RemoveEmptySection(const IniFile& ini, const std::string& section);
    bool Unregister(const IniFile& ini, const std::string& section, const std::string& key);

private:
    enum class Outcome { kDone, kAborted, kSkipped };
    Outcome Copy(const Action& action);
    void Delete(const Action& action);
    void Rename(const Action& action);
    void Open(const Action& action);
    bool Refused(const IniFile& ini) const;
    void Report(const IniFile& ini, IniWrite result);

    IniGuard& guard_;
    HostInis inis_;
    Prompter& prompter_;
    ProgressLog& log_;
    InstallRecord* record_;
    bool aborted_ = false;
    std::vector<std::string> unwritable_;
};

// Creates the directories of a relative sub-path below a base directory, one level at a time;
// failures (also because a level exists) are ignored. Never creates the base itself. Answers the
// levels it made, outermost first.
std::vector<std::string> CreateLevelsBelow(const std::string& base, const std::string& relative);
