// Folder protection and private folders on the NT family. The security
// functions are looked up in advapi32 at run time: whether Windows 98 exports
// them at all is not clear, and the 9x family has no use for them.
#include "sys/FileSecurity.h"

#include <vector>

#include "base/Format.h"
#include "sys/Paths.h"
#include "sys/SystemLibrary.h"
#include "sys/Win32.h"

namespace kx {

namespace {

struct TSecurityApi {
    using TAllocateAndInitializeSid = BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD,
                                                    DWORD, DWORD, DWORD, PSID*);
    using TFreeSid = PVOID(WINAPI*)(PSID);
    using TGetLengthSid = DWORD(WINAPI*)(PSID);
    using TInitializeAcl = BOOL(WINAPI*)(PACL, DWORD, DWORD);
    using TAddAccessAllowedAce = BOOL(WINAPI*)(PACL, DWORD, DWORD, PSID);
    using TGetAce = BOOL(WINAPI*)(PACL, DWORD, LPVOID*);
    using TInitializeSecurityDescriptor = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, DWORD);
    using TSetSecurityDescriptorDacl = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
    using TSetSecurityDescriptorControl = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                                        SECURITY_DESCRIPTOR_CONTROL);
    using TMakeSelfRelativeSD = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, PSECURITY_DESCRIPTOR, LPDWORD);
    using TSetFileSecurityA = BOOL(WINAPI*)(LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);
    using TSetNamedSecurityInfoA = DWORD(WINAPI*)(LPSTR, int, SECURITY_INFORMATION, PSID, PSID, PACL, PACL);
    using TRtlGenRandom = BOOLEAN(WINAPI*)(PVOID, ULONG);

    TAllocateAndInitializeSid AllocateAndInitializeSid = nullptr;
    TFreeSid FreeSid = nullptr;
    TGetLengthSid GetLengthSid = nullptr;
    TInitializeAcl InitializeAcl = nullptr;
    TAddAccessAllowedAce AddAccessAllowedAce = nullptr;
    TGetAce GetAce = nullptr;
    TInitializeSecurityDescriptor InitializeSecurityDescriptor = nullptr;
    TSetSecurityDescriptorDacl SetSecurityDescriptorDacl = nullptr;
    TSetSecurityDescriptorControl SetSecurityDescriptorControl = nullptr; // Windows 2000 and later
    TMakeSelfRelativeSD MakeSelfRelativeSD = nullptr;
    TSetFileSecurityA SetFileSecurityA = nullptr;
    TSetNamedSecurityInfoA SetNamedSecurityInfoA = nullptr;
    TRtlGenRandom RtlGenRandom = nullptr; // Windows XP and later

    bool Complete() const {
        return AllocateAndInitializeSid && FreeSid && GetLengthSid && InitializeAcl && AddAccessAllowedAce && GetAce &&
               InitializeSecurityDescriptor && SetSecurityDescriptorDacl && MakeSelfRelativeSD && SetFileSecurityA;
    }
};

const TSecurityApi& SecurityApi() {
    static const TSecurityApi api = [] {
        TSecurityApi a;
        // advapi32 is imported for the registry, so it is loaded already.
        HMODULE advapi = GetModuleHandleA("advapi32.dll");
        a.AllocateAndInitializeSid = GetProc<decltype(a.AllocateAndInitializeSid)>(advapi, "AllocateAndInitializeSid");
        a.FreeSid = GetProc<decltype(a.FreeSid)>(advapi, "FreeSid");
        a.GetLengthSid = GetProc<decltype(a.GetLengthSid)>(advapi, "GetLengthSid");
        a.InitializeAcl = GetProc<decltype(a.InitializeAcl)>(advapi, "InitializeAcl");
        a.AddAccessAllowedAce = GetProc<decltype(a.AddAccessAllowedAce)>(advapi, "AddAccessAllowedAce");
        a.GetAce = GetProc<decltype(a.GetAce)>(advapi, "GetAce");
        a.InitializeSecurityDescriptor =
            GetProc<decltype(a.InitializeSecurityDescriptor)>(advapi, "InitializeSecurityDescriptor");
        a.SetSecurityDescriptorDacl = GetProc<decltype(a.SetSecurityDescriptorDacl)>(advapi, "SetSecurityDescriptorDacl");
        a.SetSecurityDescriptorControl =
            GetProc<decltype(a.SetSecurityDescriptorControl)>(advapi, "SetSecurityDescriptorControl");
        a.MakeSelfRelativeSD = GetProc<decltype(a.MakeSelfRelativeSD)>(advapi, "MakeSelfRelativeSD");
        a.SetFileSecurityA = GetProc<decltype(a.SetFileSecurityA)>(advapi, "SetFileSecurityA");
        a.SetNamedSecurityInfoA = GetProc<decltype(a.SetNamedSecurityInfoA)>(advapi, "SetNamedSecurityInfoA");
        a.RtlGenRandom = GetProc<decltype(a.RtlGenRandom)>(advapi, "SystemFunction036");
        return a;
    }();
    return api;
}

constexpr int kSeFileObject = 1; // SE_FILE_OBJECT
constexpr DWORD kFullControl = FILE_ALL_ACCESS;
constexpr DWORD kReadExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
constexpr BYTE kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// A well-known group or account, freed on every way out.
class TWellKnownSid {
public:
    TWellKnownSid(BYTE count, DWORD first, DWORD second) {
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        if (!SecurityApi().AllocateAndInitializeSid(&nt, count, first, second, 0, 0, 0, 0, 0, 0, &FSid)) FSid = nullptr;
    }
    ~TWellKnownSid() {
        if (FSid) SecurityApi().FreeSid(FSid);
    }
    TWellKnownSid(const TWellKnownSid&) = delete;
    TWellKnownSid& operator=(const TWellKnownSid&) = delete;
    PSID Get() const { return FSid; }

private:
    PSID FSid = nullptr;
};

// The DACL of a protection, in acl (which must stay alive while the DACL is used).
bool BuildDacl(TFolderAccess access, std::vector<DWORD>& acl) {
    const TSecurityApi& api = SecurityApi();
    TWellKnownSid admins(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    TWellKnownSid system(1, SECURITY_LOCAL_SYSTEM_RID, 0);
    TWellKnownSid users(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS);
    if (!admins.Get() || !system.Get() || !users.Get()) return false;
    struct TEntry {
        PSID Sid;
        DWORD Mask;
    };
    std::vector<TEntry> entries{{admins.Get(), kFullControl}, {system.Get(), kFullControl}};
    if (access == TFolderAccess::UsersReadExecute) entries.push_back({users.Get(), kReadExecute});
    DWORD size = sizeof(ACL);
    for (const TEntry& e : entries) size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + api.GetLengthSid(e.Sid);
    acl.assign((size + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    auto* dacl = reinterpret_cast<PACL>(acl.data());
    if (!api.InitializeAcl(dacl, size, ACL_REVISION)) return false;
    for (DWORD i = 0; i < entries.size(); ++i) {
        // AddAccessAllowedAceEx is newer than NT 4: the inheritance flags go in by hand.
        if (!api.AddAccessAllowedAce(dacl, ACL_REVISION, entries[i].Mask, entries[i].Sid)) return false;
        ACE_HEADER* ace = nullptr;
        if (!api.GetAce(dacl, i, reinterpret_cast<LPVOID*>(&ace))) return false;
        ace->AceFlags = kInherited;
    }
    return true;
}

std::string SelfRelative(TFolderAccess access) {
    const TSecurityApi& api = SecurityApi();
    if (!IsNTFamily() || !api.Complete()) return std::string();
    std::vector<DWORD> acl;
    if (!BuildDacl(access, acl)) return std::string();
    SECURITY_DESCRIPTOR sd;
    if (!api.InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) ||
        !api.SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE))
        return std::string();
    if (api.SetSecurityDescriptorControl) api.SetSecurityDescriptorControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    DWORD size = 0;
    api.MakeSelfRelativeSD(&sd, nullptr, &size);
    std::string bytes(size, '\0');
    if (size == 0 || !api.MakeSelfRelativeSD(&sd, bytes.data(), &size)) return std::string();
    bytes.resize(size);
    return bytes;
}

std::string RandomHex8() {
    static DWORD counter = 0;
    DWORD value = 0;
    if (auto gen = SecurityApi().RtlGenRandom; !gen || !gen(&value, sizeof value)) {
        // Before Windows XP: not secret, but a name taken by anyone else is passed over.
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        value = now.dwLowDateTime ^ (GetTickCount() << 7) ^ (GetCurrentProcessId() << 16) ^ (++counter * 0x9E3779B9u);
    }
    return Format("%8.8X", static_cast<unsigned>(value));
}

} // namespace

std::string FolderSecurityDescriptor(TFolderAccess access) { return SelfRelative(access); }

bool ProtectFolder(const std::string& dir) {
    const TSecurityApi& api = SecurityApi();
    if (!IsNTFamily() || !api.Complete()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    std::vector<DWORD> acl;
    if (!BuildDacl(TFolderAccess::UsersReadExecute, acl)) return false;
    std::string path = RemoveTrailingBackslash(dir);
    if (path.size() == 2) path += '\\';
    // SetNamedSecurityInfo also carries the new entries down to what the folder
    // holds already (the folders made with it for the target).
    if (api.SetNamedSecurityInfoA) {
        const DWORD rc = api.SetNamedSecurityInfoA(path.data(), kSeFileObject,
                                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                                   nullptr, nullptr, reinterpret_cast<PACL>(acl.data()), nullptr);
        SetLastError(rc);
        return rc == ERROR_SUCCESS;
    }
    std::string sd = SelfRelative(TFolderAccess::UsersReadExecute);
    return !sd.empty() && api.SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, sd.data());
}

std::string CreatePrivateFolder(const std::string& parent, const std::function<std::string()>& nextName) {
    std::string sd = FolderSecurityDescriptor(TFolderAccess::AdminsOnly);
    // The 9x family has no protection: the new folder is private by its new name alone.
    if (sd.empty() && IsNTFamily()) return std::string();
    SECURITY_ATTRIBUTES sa{sizeof sa, sd.empty() ? nullptr : sd.data(), FALSE};
    const std::string base = AddTrailingBackslash(parent);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string dir = base + nextName();
        if (CreateDirectoryA(dir.c_str(), sd.empty() ? nullptr : &sa)) return dir + "\\";
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    return std::string();
}

std::string CreatePrivateFolder(const std::string& parent, const std::string& prefix) {
    return CreatePrivateFolder(parent, [&prefix] { return prefix + RandomHex8(); });
}

} // namespace kx
