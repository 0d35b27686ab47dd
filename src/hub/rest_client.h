#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The hub's REST calls behind the hub and pr commands. Each takes the bearer
// token first, returns false on failure with the reason in *error (when
// given), and never prints or throws for network or JSON problems. The
// reason is raw server text: print it through printable_text.

struct HubRepo {
  int32_t id = 0;
  std::string name;
  std::optional<std::string> owner_username;
  bool is_private = false;
  std::optional<std::string> description;
};

struct HubPullRequest {
  int32_t id = 0;
  std::string title;
  std::string state;
  std::optional<std::string> head_sha;
};

struct HubCloneUrls {
  std::string http;  // empty when the hub gives none
  std::string ssh;
};

bool hub_list_repos(const std::string& token, std::vector<HubRepo>& repos, std::string* error);
bool hub_clone_urls(const std::string& token, const std::string& owner, const std::string& repo,
                    HubCloneUrls& urls, std::string* error);
// The hub's id of the repository that the origin remote of the repository at
// `root` points at.
bool hub_repo_id_for_origin(const std::string& token, const std::string& root, int32_t& id,
                            std::string* error);
bool hub_list_pull_requests(const std::string& token, std::vector<HubPullRequest>& pulls,
                            std::string* error);
bool hub_create_pull_request(const std::string& token, int32_t repository_id,
                             const std::string& title, const std::string& head_sha,
                             const std::string& head_branch, int32_t& id, std::string* error);
bool hub_merge_pull_request(const std::string& token, int32_t id, const std::string& method,
                            std::string* error);

struct OwnerRepo {
  std::string owner;
  std::string repo;
};

// Owner and repository from a sync URL ".../.orrery/<owner>/<repo>[.orrery][/]";
// nothing when the URL has no such tail.
std::optional<OwnerRepo> parse_origin_owner_repo(const std::string& url);

// The compact JSON body of a new pull request, keys in ascending order.
std::string pull_request_body(int32_t repository_id, const std::string& title,
                              const std::string& head_sha, const std::string& head_branch);
