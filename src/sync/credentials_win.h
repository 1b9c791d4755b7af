// The sync's password in the Windows Credential Manager (a generic credential of this user), its
// functions taken from the system's advapi32 at run time.
#pragma once

#include "sync/sync_account.h"

class WinCredentialStore final : public SecretStore {
  public:
    bool Save(std::string_view target, std::string_view user, std::string_view secret) override;
    std::optional<std::string> Load(std::string_view target) override;
    bool Remove(std::string_view target) override;
};
