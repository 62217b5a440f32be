// A registry key that everyone, this program included, may only read while the
// guard lives: its access list is replaced by one entry allowing KEY_READ to
// Everyone, and the key's own list comes back when the guard goes (the owner may
// always change it). For tests of what a limited account sees.
#pragma once
#include <vector>

#include "sys/Handles.h"
#include "sys/Win32.h"

namespace kxtest {

class TReadOnlyKey {
public:
    TReadOnlyKey(HKEY root, const char* path) {
        if (RegOpenKeyExA(root, path, 0, READ_CONTROL | WRITE_DAC, FKey.Put()) != ERROR_SUCCESS) return;
        DWORD size = 0;
        RegGetKeySecurity(FKey.Get(), DACL_SECURITY_INFORMATION, nullptr, &size);
        FSaved.resize(size);
        if (size == 0 || RegGetKeySecurity(FKey.Get(), DACL_SECURITY_INFORMATION, FSaved.data(), &size) != ERROR_SUCCESS)
            return;
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = nullptr;
        if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) return;
        std::vector<unsigned char> acl(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(everyone));
        auto* list = reinterpret_cast<PACL>(acl.data());
        SECURITY_DESCRIPTOR sd;
        FApplied = InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION) &&
                   AddAccessAllowedAce(list, ACL_REVISION, KEY_READ, everyone) &&
                   InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
                   SetSecurityDescriptorDacl(&sd, TRUE, list, FALSE) &&
                   RegSetKeySecurity(FKey.Get(), DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
        FreeSid(everyone);
    }
    ~TReadOnlyKey() {
        if (FApplied) RegSetKeySecurity(FKey.Get(), DACL_SECURITY_INFORMATION, FSaved.data());
    }
    TReadOnlyKey(const TReadOnlyKey&) = delete;
    TReadOnlyKey& operator=(const TReadOnlyKey&) = delete;

    // The list is in force and the system enforces it: full access is refused.
    bool Enforced(HKEY root, const char* path) const {
        kx::TRegKey probe;
        return FApplied && RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, probe.Put()) == ERROR_ACCESS_DENIED;
    }

private:
    kx::TRegKey FKey;
    std::vector<unsigned char> FSaved;
    bool FApplied = false;
};

} // namespace kxtest
