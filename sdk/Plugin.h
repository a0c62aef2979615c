// The host's plug-in protocol: class identifiers, the class descriptor and the four library exports.
#pragma once

#include "MsAbi.h"
#include "Win32.h"

#include <vector>

// Release 6000 in the high 16 bits, API number 13, SDK revision 0.
constexpr ULONG VERSION_3DSMAX = (6000UL << 16) | (13UL << 8) | 0UL;

typedef ULONG SClass_ID;
// The super-class of Video Post image filters.
constexpr SClass_ID FLT_CLASS_ID = 0x00000E00;

class Class_ID {
public:
    constexpr Class_ID() = default;
    constexpr Class_ID(ULONG a, ULONG b) : a_(a), b_(b) {}
    constexpr ULONG PartA() const { return a_; }
    constexpr ULONG PartB() const { return b_; }
    constexpr bool operator==(const Class_ID&) const = default;

private:
    ULONG a_ = 0xFFFFFFFF;
    ULONG b_ = 0xFFFFFFFF;
};

// An interface that a class descriptor may publish; the host defines what they are.
struct Interface_ID {
    ULONG a = 0, b = 0;
    bool operator==(const Interface_ID&) const = default;
};
class FPInterface {
public:
    MSABI_DELETING_DESTRUCTOR(FPInterface)
    MSABI_CLASS_RESULT(Interface_ID, GetID)

    virtual ~FPInterface() = default;
    virtual Interface_ID GetID() = 0;
};

// Describes one class of a plug-in library to the host.
// The host's slots, in its order: destructor, IsPublic, Create, ClassName, SuperClassID, ClassID,
// Category, then the host defaults (MsAbi.h says how the destructor and ClassID keep theirs).
class ClassDesc {
public:
    MSABI_DELETING_DESTRUCTOR(ClassDesc)
    virtual int IsPublic() = 0;
    virtual void* Create(BOOL loading = FALSE) = 0;
    virtual const TCHAR* ClassName() = 0;
    virtual SClass_ID SuperClassID() = 0;
    MSABI_CLASS_RESULT(Class_ID, ClassID)
    virtual const TCHAR* Category() = 0;
    // Host defaults.
    virtual const TCHAR* GetRsrcString(INT_PTR id);
    virtual FPInterface* GetInterface(Interface_ID id);
    virtual void AddInterface(FPInterface* fpi);
    virtual int NumInterfaces() const;

    // Past the host's slots.
    virtual ~ClassDesc();
    virtual Class_ID ClassID() = 0;

private:
    std::vector<FPInterface*> interfaces_;
};

// The library exports the host looks up by name.
typedef const TCHAR* (*LibDescriptionProc)();
typedef int (*LibNumberClassesProc)();
typedef ClassDesc* (*LibClassDescProc)(int i);
typedef ULONG (*LibVersionProc)();

#ifdef _WIN32
#define PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif
