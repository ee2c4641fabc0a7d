# Writes OUTPUT with the version and the commit of SOURCE_DIR ("unknown"
# outside a git tree), leaving it untouched when nothing changed.
find_package(Git QUIET)
set(commit unknown)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=7 HEAD
    OUTPUT_VARIABLE head OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed ERROR_QUIET)
  if(NOT failed AND head)
    set(commit ${head})
  endif()
endif()
set(text "#define TENDON_VERSION \"${VERSION}\"\n#define TENDON_COMMIT \"${commit}\"\n")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE ${OUTPUT} "${text}")
endif()
