#pragma once

#include <optional>
#include <string>
#include <string_view>

// What the key registration came to: one line at most, told on standard
// output or as a warning; neither when the step was switched off.
struct SshKeyResult {
  std::string notice;
  std::string warning;
};

// Makes sure the hub knows the user's SSH public key: picks
// ORRERY_SSH_PUBKEY_PATH, ~/.ssh/id_ed25519.pub or ~/.ssh/id_rsa.pub, or
// creates ~/.ssh/id_orrery_hub_ed25519 with ssh-keygen, and posts it to the
// hub's key list unless it is there already. Every problem is a warning;
// nothing is thrown for network or parse failures. ORRERY_HUB_SYNC_SSH=0
// switches the step off. Prints nothing.
SshKeyResult register_ssh_key(const std::string& token);

void print_ssh_key(const SshKeyResult& result);

// "type base64" from the first line of an OpenSSH public key file (the
// comment dropped); nothing when there are fewer than two words.
std::optional<std::string> normalize_ssh_key(std::string_view text);
