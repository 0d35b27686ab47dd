#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "hubd/api_call.h"

// An OpenSSH public key as the hub stores it: "<type> <base64>", the
// comment dropped, and its fingerprint in ssh-keygen's form
// "SHA256:<unpadded base64 of the SHA-256 of the key blob>".
struct SshPublicKey {
  std::string normalized;
  std::string fingerprint;
  std::string comment;
};

// Checks the key type, the base64 and the blob inside (its fields and its
// own type name); nothing for anything else.
std::optional<SshPublicKey> parse_ssh_public_key(std::string_view text);

// GET and POST /auth/ssh-keys, DELETE /auth/ssh-keys/<id>.
Reply serve_ssh_keys(const ApiCall& call);
