# One INTERFACE target carries the warning and sanitizer flags; every target of
# ours links it, so the flags are set in exactly one place.
add_library(orrery_warnings INTERFACE)
target_compile_options(orrery_warnings INTERFACE
  $<BUILD_INTERFACE:-Wall -Wextra -Werror>)
if(ORRERY_SANITIZE)
  target_compile_options(orrery_warnings INTERFACE
    $<BUILD_INTERFACE:-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all>)
  target_link_options(orrery_warnings INTERFACE
    $<BUILD_INTERFACE:-fsanitize=address,undefined>)
endif()
