# One INTERFACE target carries the warning and sanitizer flags; every target of
# ours links it, so the flags are set in exactly one place.
add_library(orrery_warnings INTERFACE)
target_compile_options(orrery_warnings INTERFACE $<BUILD_INTERFACE:-Wall -Wextra>)
# Warnings fail the build only where we build (scripts/bootstrap, CI): a
# newer compiler on a user's machine must not turn a new warning into a
# package that no longer builds.
if(ORRERY_WERROR)
  target_compile_options(orrery_warnings INTERFACE $<BUILD_INTERFACE:-Werror>)
endif()
if(ORRERY_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ORRERY_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Every object is instrumented for libFuzzer's coverage and checked by
  # ASan and UBSan; only the fuzz targets themselves link libFuzzer's main.
  target_compile_options(orrery_warnings INTERFACE
    $<BUILD_INTERFACE:-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=all>)
  target_link_options(orrery_warnings INTERFACE
    $<BUILD_INTERFACE:-fsanitize=address,undefined>)
endif()
if(ORRERY_SANITIZE)
  # -O1: the checks stay the same and the frame pointers keep the stack
  # traces whole, but the suite runs about twice as fast as unoptimised.
  # Line tables only (-g1): reports name every frame's file and line, and the
  # build is about a tenth shorter than with full debug information.
  target_compile_options(orrery_warnings INTERFACE
    $<BUILD_INTERFACE:-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all
                      -O1 -g1>)
  target_link_options(orrery_warnings INTERFACE
    $<BUILD_INTERFACE:-fsanitize=address,undefined>)
endif()
if(ORRERY_TSAN)
  # -O1 and line tables only: a race report still names every frame's file
  # and line, and the build, the longest part of CI's ThreadSanitizer run,
  # compiles in about two thirds of the time of -O2 -g.
  target_compile_options(orrery_warnings INTERFACE
    $<BUILD_INTERFACE:-fsanitize=thread -fno-omit-frame-pointer -O1 -g1>)
  target_link_options(orrery_warnings INTERFACE $<BUILD_INTERFACE:-fsanitize=thread>)
endif()
# The sanitized suites start the programs thousands of times. A
# position-independent executable carries over a million relative relocations
# of instrumented data, applied (and their pages dirtied) at every start;
# linked at fixed addresses, a start costs about half.
if(ORRERY_SANITIZE OR ORRERY_TSAN)
  target_link_options(orrery_warnings INTERFACE $<BUILD_INTERFACE:-no-pie>)
endif()
