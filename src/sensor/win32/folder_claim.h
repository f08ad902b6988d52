#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "sensor/sensor.h"
#include "sensor/win32/owned_handle.h"

// Brevalt's own claim of a log folder: a named mutex in the global
// namespace, named after the folder, held by one Brevalt for as long as it
// runs. The marks of the sensors it starts are named after the same folder.
namespace brevalt::win32 {

// Readers may read a named object's owner and wait on it, nothing else.
inline constexpr DWORD k_named_object_access = READ_CONTROL | SYNCHRONIZE;

// Who may do what with Brevalt's named objects: they are owned by this
// process's user, as an elevated administrator's objects would otherwise be
// owned by the Administrators group and another Brevalt should name the
// person; and every user may read them, so that a Brevalt in another user's
// session can say whose they are. Not inheritable: a sensor holding the
// claim would keep the folder claimed after Brevalt has ended. Not movable:
// the descriptor points into itself.
class NamedObjectSecurity {
public:
    NamedObjectSecurity() = default;
    NamedObjectSecurity(const NamedObjectSecurity&) = delete;
    NamedObjectSecurity& operator=(const NamedObjectSecurity&) = delete;

    SysResult prepare();
    [[nodiscard]] SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

private:
    alignas(TOKEN_USER) BYTE user_[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE]{};
    alignas(SID) BYTE everyone_[SECURITY_MAX_SID_SIZE]{};
    alignas(ACL) BYTE acl_[sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE]{};
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{sizeof attributes_, &descriptor_, FALSE};
};

// "Global\Brevalt.C:/PROGRAM FILES/BREVALT/LOG" followed by `suffix`, for
// the canonical path of a folder: one name per folder for every session on
// the machine.
std::wstring object_name(const std::wstring& folder, std::wstring_view suffix = {});

// "DOMAIN\user", the owner of a named object; empty where the system does
// not tell.
std::string owner_of(HANDLE object);

// A FolderClaim of outcome `failed` that names the call and its error.
FolderClaim claim_failed(const SysResult& result);

struct OwnClaim {
    FolderClaim claim;     // claimed, missing, held_elsewhere or failed
    OwnedHandle held{};    // while claimed: the claim, ours until closed
    std::wstring folder{}; // while claimed: the folder's canonical path
};

// Claims `folder` (UTF-8, no trailing separator) by whichever of its names.
OwnClaim claim_folder(const std::string& folder);

}  // namespace brevalt::win32
