# Writes the header holding the version and the source commit; run at every build, it
# rewrites the header only when the commit changed, so a new commit never leaves a stale
# hash in the binary and an unchanged tree rebuilds nothing.
set(commit "unknown")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SRC}/.git")
  execute_process(COMMAND "${GIT_EXECUTABLE}" describe --always --dirty --abbrev=12
                  WORKING_DIRECTORY "${SRC}" OUTPUT_VARIABLE commit
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT commit)
    set(commit "unknown")
  endif()
endif()
set(text "#pragma once\n#define ORNAX_VERSION \"${VERSION}\"\n#define ORNAX_SOURCE_COMMIT \"${commit}\"\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE "${OUT}" "${text}")
endif()
