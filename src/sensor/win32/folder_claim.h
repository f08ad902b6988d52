#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "sensor/sensor.h"
#include "sensor/win32/owned_handle.h"

// Brevalt's own claim of a log folder: a named mutex, named after the
// folder, held by one Brevalt for as long as it runs. The marks of the
// sensors it starts are named after the same folder.
namespace brevalt::win32 {

// Where Brevalt's named objects live. A name in the global namespace can be
// taken first by any user, who would keep every operator's Brevalt from
// starting; so where the installer's group "Brevalt Operators" exists they
// live in a private namespace bounded by that group's SID, which only its
// members can create and only they, the administrators and the system can
// open. Without the group (a program folder set up by hand, a test) or
// without private namespaces (Wine) the names stay global.
struct ObjectNamespace {
    // Open for as long as a claim or a sensor may need it: the system
    // deletes a private namespace with its last handle.
    OwnedHandle handle{};
    std::wstring prefix = L"Global\\";
    // Failed where the group exists but this user may not enter its
    // namespace: a claim outside it would not keep out the operators' one.
    SysResult result{};
};

// The operators' namespace, opened once for the whole process.
const ObjectNamespace& operators_namespace();

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

// "Global\Brevalt.C:/PROGRAM FILES/BREVALT/LOG" (or in the operators'
// namespace) followed by `suffix`, for the canonical path of a folder: one
// name per folder for every session on the machine.
std::wstring object_name(const std::wstring& folder, std::wstring_view suffix = {});

// "DOMAIN\user", the owner of a named object; empty where the system does
// not tell.
std::string owner_of(HANDLE object);

// Whether `object` is owned by the user this process runs as; true where
// the system does not tell.
bool owned_by_this_user(HANDLE object);

// Who may open the sensor's process: its user, the administrators and the
// system anything; the operators' group may query it, wait for it and end
// it, so that another operator's Brevalt sees a sensor left running (and
// waits for it) instead of starting a second one beside it. Empty where
// there is no operators' group: the process then gets the default DACL.
class SensorProcessSecurity {
public:
    SensorProcessSecurity();
    SensorProcessSecurity(const SensorProcessSecurity&) = delete;
    SensorProcessSecurity& operator=(const SensorProcessSecurity&) = delete;
    ~SensorProcessSecurity();
    [[nodiscard]] SECURITY_ATTRIBUTES* attributes() { return descriptor_ ? &attributes_ : nullptr; }

private:
    void* descriptor_ = nullptr;  // LocalFree'd
    SECURITY_ATTRIBUTES attributes_{sizeof attributes_, nullptr, FALSE};
};

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
