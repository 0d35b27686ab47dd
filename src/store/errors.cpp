#include "store/errors.h"

#include <utility>

RepositoryLocked::RepositoryLocked(const std::string& what, std::string lock_path)
    : std::runtime_error(what), lock_path_(std::move(lock_path)) {}
