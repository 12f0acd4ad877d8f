# Whether the API reference can be built (VELMORA_DOCS): AUTO offers the target docs when
# Doxygen is found, ON requires it. The reference is never part of the default build.
set(VELMORA_DOCS OFF)
set(VELMORA_DOXYGEN_VERSION "")
if(VELMORA_BUILD_DOCS STREQUAL "AUTO")
  set(_required OFF)
elseif(VELMORA_BUILD_DOCS)
  set(_required ON)
else()
  return()
endif()
find_program(VELMORA_DOXYGEN doxygen)
if(VELMORA_DOXYGEN AND EXISTS "${VELMORA_DOXYGEN}")
  execute_process(COMMAND ${VELMORA_DOXYGEN} --version OUTPUT_VARIABLE VELMORA_DOXYGEN_VERSION
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  set(VELMORA_DOCS ON)
elseif(_required)
  message(FATAL_ERROR "the API reference needs doxygen (tools/setup-deps.sh installs it); "
                      "or configure with -DVELMORA_BUILD_DOCS=OFF")
endif()
