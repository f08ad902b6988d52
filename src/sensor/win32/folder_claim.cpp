#include "sensor/win32/folder_claim.h"

// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <cstdint>
#include <iterator>
#include <memory>

#include "platform/win32/wide_text.h"
#include "sensor/win32/canonical_path.h"

namespace brevalt::win32 {

SysResult NamedObjectSecurity::prepare() {
    const auto failure = [](const char* call) { return SysResult::failure(call, static_cast<int>(::GetLastError())); };
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return failure("OpenProcessToken");
    DWORD size = sizeof user_;
    const BOOL read = ::GetTokenInformation(token, TokenUser, user_, size, &size);
    const SysResult token_read = read ? SysResult::success() : failure("GetTokenInformation");
    ::CloseHandle(token);
    if (!token_read.ok()) return token_read;
    size = sizeof everyone_;
    if (!::CreateWellKnownSid(WinWorldSid, nullptr, everyone_, &size)) return failure("CreateWellKnownSid");
    auto* acl = reinterpret_cast<ACL*>(acl_);
    if (!::InitializeAcl(acl, sizeof acl_, ACL_REVISION)) return failure("InitializeAcl");
    if (!::AddAccessAllowedAce(acl, ACL_REVISION, k_named_object_access, everyone_))
        return failure("AddAccessAllowedAce");
    if (!::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION))
        return failure("InitializeSecurityDescriptor");
    if (!::SetSecurityDescriptorOwner(&descriptor_, reinterpret_cast<TOKEN_USER*>(user_)->User.Sid, FALSE))
        return failure("SetSecurityDescriptorOwner");
    if (!::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE)) return failure("SetSecurityDescriptorDacl");
    return SysResult::success();
}

namespace {

constexpr const wchar_t* k_namespace_name = L"Brevalt";

struct LocalFreed {
    void operator()(void* memory) const { ::LocalFree(memory); }
};
using OwnedLocal = std::unique_ptr<void, LocalFreed>;

// Any access for the group, the administrators and the system; none for
// anyone else.
bool namespace_security(PSID group, OwnedLocal& descriptor) {
    wchar_t* group_text = nullptr;
    if (!::ConvertSidToStringSidW(group, &group_text)) return false;
    const std::wstring sddl = std::wstring(L"D:P(A;;GA;;;BA)(A;;GA;;;SY)(A;;GA;;;") + group_text + L")";
    ::LocalFree(group_text);
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &made, nullptr))
        return false;
    descriptor.reset(made);
    return true;
}

ObjectNamespace open_object_namespace(const wchar_t* group) {
    const auto failure = [](const char* call) {
        ObjectNamespace failed;
        failed.result = SysResult::failure(call, static_cast<int>(::GetLastError()));
        return failed;
    };
    alignas(SID) BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sid_size = sizeof sid;
    wchar_t domain[257];
    DWORD domain_size = std::size(domain);
    SID_NAME_USE kind{};
    // The group is made by the installer, on this machine: where it is not
    // found, nobody can have been made an operator.
    if (!::LookupAccountNameW(nullptr, group, sid, &sid_size, domain, &domain_size, &kind)) return {};
    // Wine has no boundary descriptors (and no private namespaces).
    HANDLE boundary = ::CreateBoundaryDescriptorW(k_namespace_name, 0);
    if (boundary == nullptr) return {};
    ObjectNamespace entered;
    entered.prefix = std::wstring(k_namespace_name) + L"\\";
    OwnedLocal descriptor;
    if (!::AddSIDToBoundaryDescriptor(&boundary, sid)) {
        entered = failure("AddSIDToBoundaryDescriptor");
    } else if (!namespace_security(sid, descriptor)) {
        entered = failure("ConvertStringSecurityDescriptorToSecurityDescriptorW");
    } else {
        SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
        // Only a member may create it; the first operator's Brevalt does, the
        // others (and an elevated administrator) open it.
        entered.handle = OwnedHandle(::CreatePrivateNamespaceW(&attributes, boundary, k_namespace_name));
        if (!entered.handle) entered.handle = OwnedHandle(::OpenPrivateNamespaceW(boundary, k_namespace_name));
        if (!entered.handle) entered = failure("OpenPrivateNamespaceW");
    }
    ::DeleteBoundaryDescriptor(boundary);
    return entered;
}

}  // namespace

const ObjectNamespace& operators_namespace() {
    static const ObjectNamespace entered = open_object_namespace(L"Brevalt Operators");
    return entered;
}

// Object names are compared case-sensitively, file names are not; and a
// name may hold no backslash after its namespace.
std::wstring object_name(const std::wstring& folder, std::wstring_view suffix) {
    std::wstring name = folder;
    ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, folder.data(), static_cast<int>(folder.size()), name.data(),
                   static_cast<int>(name.size()));
    for (wchar_t& c : name) {
        if (c == L'\\') c = L'/';
    }
    // Object names are limited to MAX_PATH characters. A longer path keeps
    // its beginning, which a reader of the name recognises, and ends in a
    // hash of the whole (64-bit FNV-1a), which tells apart two paths that
    // differ only past the cut.
    const std::wstring prefix = operators_namespace().prefix + L"Brevalt.";
    constexpr std::size_t k_hash_digits = 16;
    if (prefix.size() + name.size() + suffix.size() >= MAX_PATH) {
        std::uint64_t hash = 14695981039346656037ull;
        for (const wchar_t c : name) hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ull;
        name.resize(MAX_PATH - 1 - prefix.size() - suffix.size() - 1 - k_hash_digits);
        name += L'#';
        for (std::size_t digit = k_hash_digits; digit-- > 0;) name += L"0123456789ABCDEF"[(hash >> (4 * digit)) & 0xf];
    }
    return std::wstring(prefix).append(name).append(suffix);
}

std::string owner_of(HANDLE object) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS)
        return {};
    // Account and domain names are at most 256 characters.
    wchar_t user[257];
    wchar_t domain[257];
    DWORD user_size = std::size(user);
    DWORD domain_size = std::size(domain);
    SID_NAME_USE kind{};
    const BOOL found = ::LookupAccountSidW(nullptr, owner, user, &user_size, domain, &domain_size, &kind);
    ::LocalFree(descriptor);
    if (!found) return {};
    std::wstring account(domain, domain_size);
    if (!account.empty()) account += L'\\';
    return to_utf8(account.append(user, user_size));
}

// Whether `object` is owned by the user this process runs as: another
// operator's Brevalt is waited for, this user's own second one ends.
bool owned_by_this_user(HANDLE object) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS)
        return true;
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE]{};
    HANDLE token = nullptr;
    DWORD size = sizeof user;
    bool same = true;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        if (::GetTokenInformation(token, TokenUser, user, size, &size))
            same = ::EqualSid(owner, reinterpret_cast<TOKEN_USER*>(user)->User.Sid) != FALSE;
        ::CloseHandle(token);
    }
    ::LocalFree(descriptor);
    return same;
}

namespace {

// The SID of the operators' group, as text; empty where there is none.
std::wstring operators_sid_text() {
    alignas(SID) BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sid_size = sizeof sid;
    wchar_t domain[257];
    DWORD domain_size = std::size(domain);
    SID_NAME_USE kind{};
    if (!::LookupAccountNameW(nullptr, L"Brevalt Operators", sid, &sid_size, domain, &domain_size, &kind)) return {};
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) return {};
    std::wstring group(text);
    ::LocalFree(text);
    return group;
}

std::wstring own_sid_text() {
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE]{};
    HANDLE token = nullptr;
    DWORD size = sizeof user;
    std::wstring own;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        wchar_t* text = nullptr;
        if (::GetTokenInformation(token, TokenUser, user, size, &size) &&
            ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text)) {
            own = text;
            ::LocalFree(text);
        }
        ::CloseHandle(token);
    }
    return own;
}

}  // namespace

SensorProcessSecurity::SensorProcessSecurity() {
    const std::wstring group = operators_sid_text();
    const std::wstring own = own_sid_text();
    if (group.empty() || own.empty()) return;
    // SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE
    const std::wstring sddl = L"D:P(A;;GA;;;" + own + L")(A;;GA;;;BA)(A;;GA;;;SY)(A;;0x101001;;;" + group + L")";
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &made, nullptr)) return;
    descriptor_ = made;
    attributes_.lpSecurityDescriptor = made;
}

SensorProcessSecurity::~SensorProcessSecurity() {
    if (descriptor_ != nullptr) ::LocalFree(descriptor_);
}

FolderClaim claim_failed(const SysResult& result) {
    FolderClaim failed = FolderClaim::failed_because(result.failed_call);
    failed.failure.append(" failed with error ").append(std::to_string(static_cast<DWORD>(result.error)));
    return failed;
}

namespace {

// Fills in `own`, except for a failure, which it returns.
SysResult try_claim(const std::string& folder, OwnClaim& own) {
    const auto wide = to_wide(folder);
    if (!wide) return SysResult::failure("MultiByteToWideChar", ERROR_NO_UNICODE_TRANSLATION);
    const DWORD attributes = ::GetFileAttributesW(wide->c_str());
    const DWORD error = ::GetLastError();
    if (attributes == INVALID_FILE_ATTRIBUTES && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        return SysResult::failure("GetFileAttributesW", static_cast<int>(error));
    own.claim.outcome = FolderClaim::Outcome::missing;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return SysResult::success();

    // The claim is a named mutex: the system deletes it with its last
    // handle, so it dies with its process, crash or not.
    if (!operators_namespace().result.ok()) return operators_namespace().result;
    NamedObjectSecurity security;
    if (const SysResult prepared = security.prepare(); !prepared.ok()) return prepared;
    own.folder = canonical_path(*wide);
    own.held = OwnedHandle(
        ::CreateMutexExW(security.attributes(), object_name(own.folder).c_str(), 0, k_named_object_access));
    const DWORD created = ::GetLastError();
    own.claim.outcome = FolderClaim::Outcome::claimed;
    if (own.held && created != ERROR_ALREADY_EXISTS) return SysResult::success();
    // Access denied is a mutex of this name that does not let us read it.
    if (!own.held && created != ERROR_ACCESS_DENIED)
        return SysResult::failure("CreateMutexExW", static_cast<int>(created));
    own.claim.outcome = FolderClaim::Outcome::held_elsewhere;
    if (own.held) {
        // The mutex tells its owner, not its process.
        own.claim.holder = ClaimHolder{ClaimHolder::Kind::brevalt, owner_of(own.held.get()), 0};
        if (!owned_by_this_user(own.held.get())) own.claim.outcome = FolderClaim::Outcome::served_by_other_user;
    }
    own.held.reset();
    return SysResult::success();
}

}  // namespace

OwnClaim claim_folder(const std::string& folder) {
    OwnClaim own;
    if (const SysResult claimed = try_claim(folder, own); !claimed.ok()) own.claim = claim_failed(claimed);
    return own;
}

}  // namespace brevalt::win32
