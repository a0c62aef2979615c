// The host's default operations of ClassDesc (the interfaces it holds may be the host's objects).
#include "Plugin.h"

#include <algorithm>

ClassDesc::~ClassDesc() = default;

const TCHAR* ClassDesc::GetRsrcString(INT_PTR) { return ""; }

FPInterface* ClassDesc::GetInterface(Interface_ID id)
{
    auto it = std::find_if(interfaces_.begin(), interfaces_.end(),
                           [&](FPInterface* fpi) { return MsAbiCall(Interface_ID, fpi, GetID) == id; });
    return it == interfaces_.end() ? nullptr : *it;
}

void ClassDesc::AddInterface(FPInterface* fpi)
{
    if (fpi && !GetInterface(MsAbiCall(Interface_ID, fpi, GetID))) interfaces_.push_back(fpi);
}

int ClassDesc::NumInterfaces() const { return static_cast<int>(interfaces_.size()); }
