// The record folders' security: made protected, read back and judged before every use.
#include "RecordFolder.h"

#include <windows.h>

#include <sddl.h>

#include <vector>

// Owner Administrators; SYSTEM and Administrators full control, Users read and execute, for the
// folder and all it holds; protected from what its parent would hand down.
const char* const kRecordFolderSecurity = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

namespace {

// Without the owner: where the system will not let this token name Administrators as the owner,
// the token's default owner (an elevated administrator's is Administrators itself).
const char* const kWithoutOwner = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";

bool MakeWith(const std::string& folder, const char* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    const bool made = CreateDirectoryA(folder.c_str(), &attributes) != FALSE;
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    SetLastError(error);
    return made;
}

// The well-known groups a trusted record may belong to, and the installing user.
class TrustedSids {
public:
    TrustedSids()
    {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system_);
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                 &administrators_);
        HANDLE token = nullptr;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            DWORD size = 0;
            GetTokenInformation(token, TokenUser, nullptr, 0, &size);
            user_.resize(size);
            if (size == 0 || !GetTokenInformation(token, TokenUser, user_.data(), size, &size)) user_.clear();
            CloseHandle(token);
        }
    }
    ~TrustedSids()
    {
        if (system_) FreeSid(system_);
        if (administrators_) FreeSid(administrators_);
    }
    TrustedSids(const TrustedSids&) = delete;
    TrustedSids& operator=(const TrustedSids&) = delete;

    bool Holds(PSID sid) const
    {
        if (!sid || !IsValidSid(sid)) return false;
        const PSID user = user_.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(user_.data())->User.Sid;
        return (system_ && EqualSid(sid, system_)) || (administrators_ && EqualSid(sid, administrators_)) ||
               (user && EqualSid(sid, user));
    }

private:
    PSID system_ = nullptr;
    PSID administrators_ = nullptr;
    std::vector<BYTE> user_;
};

// Every right that changes the folder, what it holds, or who may.
constexpr DWORD kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                  FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                  GENERIC_ALL | MAXIMUM_ALLOWED;

}  // namespace

bool MakeProtectedFolder(const std::string& folder)
{
    if (MakeWith(folder, kRecordFolderSecurity)) return true;
    return GetLastError() == ERROR_INVALID_OWNER && MakeWith(folder, kWithoutOwner);
}

std::string WhyUntrusted(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {};
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return "is a link";
    const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetFileSecurityA(path.c_str(), wanted, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetFileSecurityA(path.c_str(), wanted, buffer.data(), size, &size))
        return "has a security descriptor that cannot be read";
    const PSECURITY_DESCRIPTOR descriptor = buffer.data();

    const TrustedSids trusted;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !trusted.Holds(owner))
        return "belongs to someone other than you, the Administrators or SYSTEM";

    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) return "has an access list that cannot be read";
    if (!present || !dacl) return "lets everyone change it";
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry)) return "has an access list that cannot be read";
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // for what is made in it later, not for it
        if (header->AceType == ACCESS_DENIED_ACE_TYPE || header->AceType == SYSTEM_AUDIT_ACE_TYPE) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return "has an access entry of a kind this installer does not judge";
        const ACCESS_ALLOWED_ACE* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & kChangingRights) && !trusted.Holds(sid)) return "lets others change it";
    }
    return {};
}

bool CopyAccess(const std::string& from, const std::string& to)
{
    DWORD size = 0;
    GetFileSecurityA(from.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<BYTE> original(size);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (size == 0 || !GetFileSecurityA(from.c_str(), DACL_SECURITY_INFORMATION, original.data(), size, &size) ||
        !GetSecurityDescriptorDacl(original.data(), &present, &dacl, &defaulted))
        return false;
    SECURITY_DESCRIPTOR descriptor;
    return InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&descriptor, present, dacl, FALSE) &&
           SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED) &&
           SetFileSecurityA(to.c_str(), DACL_SECURITY_INFORMATION, &descriptor);
}
