# Writes OUTPUT, a header defining TENDON_COMMIT as the short commit of
# SOURCE_DIR ("unknown" outside a git tree). Run at every build; the header
# is only replaced when the commit changed, so nothing rebuilds needlessly.
execute_process(
  COMMAND git -C "${SOURCE_DIR}" rev-parse --short=7 HEAD
  OUTPUT_VARIABLE commit
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE status
  ERROR_QUIET)
if(NOT status EQUAL 0 OR commit STREQUAL "")
  set(commit "unknown")
endif()
file(WRITE "${OUTPUT}.new" "#define TENDON_COMMIT \"${commit}\"\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
