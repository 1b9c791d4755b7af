// The sync's password as a generic credential of this user, through advapi32's Cred* functions
// found at run time (the 2000-era names, present on every Windows the program runs on).
#include <windows.h>

#include <wincred.h>

#include "sync/credentials_win.h"
#include "ui/dll_search.h"
#include "ui/text.h"

namespace {

struct CredApi {
    decltype(&::CredWriteW) write = nullptr;
    decltype(&::CredReadW) read = nullptr;
    decltype(&::CredDeleteW) remove = nullptr;
    decltype(&::CredFree) free = nullptr;
    bool Ready() const { return write && read && remove && free; }
};

template <typename Fn> Fn Find(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

const CredApi& Api() {
    static const CredApi api = [] {
        CredApi a;
        HMODULE module = ui::LoadSystemDll(L"advapi32.dll");
        a.write = Find<decltype(a.write)>(module, "CredWriteW");
        a.read = Find<decltype(a.read)>(module, "CredReadW");
        a.remove = Find<decltype(a.remove)>(module, "CredDeleteW");
        a.free = Find<decltype(a.free)>(module, "CredFree");
        return a;
    }();
    return api;
}

} // namespace

bool WinCredentialStore::Save(std::string_view target, std::string_view user, std::string_view secret) {
    const CredApi& api = Api();
    std::wstring name = ui::WideFromUtf8(target);
    std::wstring userName = ui::WideFromUtf8(user);
    // The Credential Manager holds at most this much of a generic credential's secret.
    if (!api.Ready() || name.empty() || secret.size() > CRED_MAX_CREDENTIAL_BLOB_SIZE) {
        return false;
    }
    // A copy the store reads from; CredentialBlob is not const in the structure.
    std::string blob(secret);
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = name.data();
    credential.UserName = userName.empty() ? nullptr : userName.data();
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    credential.CredentialBlobSize = static_cast<DWORD>(blob.size());
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
    const bool ok = api.write(&credential, 0) != FALSE;
    SecureZeroMemory(blob.data(), blob.size());
    return ok;
}

std::optional<std::string> WinCredentialStore::Load(std::string_view target) {
    const CredApi& api = Api();
    const std::wstring name = ui::WideFromUtf8(target);
    PCREDENTIALW credential = nullptr;
    if (!api.Ready() || name.empty() || !api.read(name.c_str(), CRED_TYPE_GENERIC, 0, &credential)) {
        return std::nullopt;
    }
    std::string secret(reinterpret_cast<const char*>(credential->CredentialBlob),
                       credential->CredentialBlobSize);
    if (credential->CredentialBlobSize) {
        SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
    }
    api.free(credential);
    return secret;
}

bool WinCredentialStore::Remove(std::string_view target) {
    const CredApi& api = Api();
    const std::wstring name = ui::WideFromUtf8(target);
    if (!api.Ready() || name.empty()) {
        return false;
    }
    // Nothing stored is what removing asks for.
    return api.remove(name.c_str(), CRED_TYPE_GENERIC, 0) || ::GetLastError() == ERROR_NOT_FOUND;
}
