# Every dependency comes from the distribution's packages; nothing is vendored.
find_package(Threads REQUIRED)
find_package(jsoncpp CONFIG REQUIRED)
find_package(fmt CONFIG REQUIRED)
find_package(spdlog CONFIG REQUIRED)
find_package(Eigen3 CONFIG REQUIRED)
find_package(Iconv REQUIRED)

# Standalone asio is header-only and ships no CMake package.
find_path(ASIO_INCLUDE_DIR asio.hpp REQUIRED)
if(NOT TARGET velmora_asio)
  add_library(velmora_asio INTERFACE)
  target_include_directories(velmora_asio SYSTEM INTERFACE ${ASIO_INCLUDE_DIR})
  # asio picks aligned_alloc/free or new/delete for its handler memory by whether a standard
  # header came before its own in the file; handler memory is recycled across files on one
  # thread, so every file must make the same choice.
  target_compile_definitions(velmora_asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED
    ASIO_DISABLE_STD_ALIGNED_ALLOC)
  target_link_libraries(velmora_asio INTERFACE Threads::Threads)
endif()

if(VELMORA_BUILD_TESTS)
  find_package(GTest CONFIG REQUIRED)
  include(GoogleTest)
endif()

# An optional program behind an AUTO/ON/OFF option: `found` becomes ON when the option is not OFF
# and `program` is found (its path cached in `var`; a cached path removed since counts as none).
# ON without it fails the configuration, saying `what` needs `name`.
function(velmora_find_optional option var program found what name)
  set(${found} OFF PARENT_SCOPE)
  if(NOT ${option})
    return()
  endif()
  find_program(${var} ${program})
  if(${var} AND EXISTS "${${var}}")
    set(${found} ON PARENT_SCOPE)
  elseif(NOT ${option} STREQUAL "AUTO")
    message(FATAL_ERROR "${what} needs ${name} (tools/setup-deps.sh installs it); "
                        "or configure with -D${option}=OFF")
  endif()
endfunction()
