# Settings every target shares: the language, warnings, sanitizers. The
# exactness flags belong to the engine (engine/CMakeLists.txt), which passes
# them on to everything that links it.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

add_compile_options(-Wall -Wextra -Wpedantic)
if(VERBLINKA_WERROR)
  add_compile_options(-Werror)
endif()

# Sanitized and fuzzing builds stop at the first finding; the library's own
# checks on container bounds are on as well.
set(VERBLINKA_SANITIZED 0)
if(VERBLINKA_SANITIZE OR VERBLINKA_FUZZ_COVERAGE)
  set(VERBLINKA_SANITIZED 1)
  set(sanitizers address,undefined)
  add_compile_options(-fsanitize=${sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_definitions(_GLIBCXX_ASSERTIONS)
  add_link_options(-fsanitize=${sanitizers})
  if(VERBLINKA_FUZZ_COVERAGE)
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
endif()

# ThreadSanitizer: every report is a failure. It excludes AddressSanitizer,
# so it is a build of its own (preset tsan).
if(VERBLINKA_THREAD_SANITIZER)
  if(VERBLINKA_SANITIZED)
    message(FATAL_ERROR "ThreadSanitizer does not combine with AddressSanitizer")
  endif()
  set(VERBLINKA_SANITIZED 1)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

include(GNUInstallDirs)

# Code that Qt's tools generate into the build folder (moc, resources) is not
# ours to lint: a build folder inside the source tree would otherwise take
# the project's .clang-tidy for it.
if(CMAKE_CXX_CLANG_TIDY)
  file(WRITE ${PROJECT_BINARY_DIR}/.clang-tidy
    "# Generated code: one check that it never trips (clang-tidy wants one).\nChecks: '-*,misc-unused-alias-decls'\n")
endif()
