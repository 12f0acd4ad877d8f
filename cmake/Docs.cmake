# Whether the API reference can be built (VELMORA_DOCS): AUTO offers the target docs when
# Doxygen is found, ON requires it. The reference is never part of the default build.
set(VELMORA_DOXYGEN_VERSION "")
velmora_find_optional(VELMORA_BUILD_DOCS VELMORA_DOXYGEN doxygen VELMORA_DOCS "the API reference" doxygen)
if(NOT VELMORA_DOCS)
  return()
endif()
execute_process(COMMAND ${VELMORA_DOXYGEN} --version OUTPUT_VARIABLE VELMORA_DOXYGEN_VERSION
  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
