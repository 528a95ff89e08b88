# Writes OUT, the definition of the commit the program is built from: `git describe` of the
# source tree, with "-dirty" when tracked files differ from it; in a tree made by `git archive`,
# the commit written into cmake/commit.txt (export-subst); otherwise "unknown". OUT is rewritten
# only when the commit changes, so that an unchanged tree rebuilds nothing.
# Usage: cmake -DSOURCE_DIR=... -DOUT=... -P find_commit.cmake
set(commit "")
find_package(Git QUIET)
if(GIT_FOUND)
  # Only the source tree's own repository counts, not one it happens to lie in.
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --show-toplevel
                  OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
  if(NOT failed)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
  endif()
  if(NOT failed AND top STREQUAL source)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} describe --always --dirty --abbrev=12 --exclude=*
                    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
endif()
if(commit STREQUAL "")
  file(STRINGS ${SOURCE_DIR}/cmake/commit.txt archived LIMIT_COUNT 1)
  if(archived MATCHES "^[0-9a-f]+$")
    string(SUBSTRING "${archived}" 0 12 commit)
  else()
    set(commit "unknown")
  endif()
endif()
set(text "// Written at build time by cmake/find_commit.cmake.\n#include \"driver/version.hpp\"\n\nconst char* const build_commit = \"${commit}\";\n")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUT} "${text}")
endif()
