#pragma once

#include <cstddef>
#include <functional>

// Runs `work` to its end on a new thread whose stack holds `stack_bytes`
// (reserved, not committed: untouched pages cost nothing), and rethrows what
// it throws. For recursive library code whose depth grows with its input.
// Throws std::runtime_error when the thread cannot be started.
void run_with_large_stack(const std::function<void()>& work, size_t stack_bytes);
