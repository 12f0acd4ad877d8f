# The library as outside projects use it: what it exports, its installed package (C++ with the
# project's compiler and clang++-14, C# under Mono) and the tree added with add_subdirectory.
set(_consumer ${CMAKE_CURRENT_SOURCE_DIR}/consumer)

add_test(NAME consumer.exports
  COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DLIBRARY=$<TARGET_FILE:velmora>
          -DCLR_SOURCES=${PROJECT_SOURCE_DIR}/managed/src -P ${_consumer}/check_exports.cmake)

# The installed simulator listens on a loopback address of this build folder's own, so two
# build folders run the test at the same time without clashing.
string(SHA1 _hash "${PROJECT_BINARY_DIR}")
set(_address 127)
foreach(_at 0 2 4)
  string(SUBSTRING ${_hash} ${_at} 2 _byte)
  math(EXPR _byte "0x${_byte} % 254 + 1")
  string(APPEND _address .${_byte})
endforeach()

set(_options --install ${PROJECT_BINARY_DIR} --cxx ${CMAKE_CXX_COMPILER})
find_program(VELMORA_CLANG clang++-14)
if(VELMORA_CLANG)
  list(APPEND _options --cxx ${VELMORA_CLANG})
endif()
find_program(VELMORA_MONO mono)
if(VELMORA_MANAGED AND VELMORA_MONO)
  list(APPEND _options --managed)
endif()
add_test(NAME consumer.installed
  COMMAND ${_consumer}/check-installed.sh ${_options} ${PROJECT_BINARY_DIR}/consumer/installed/prefix
          ${PROJECT_BINARY_DIR}/consumer/installed ${_address})
set_tests_properties(consumer.installed PROPERTIES TIMEOUT 300)

add_test(NAME consumer.add_subdirectory
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
          -DWORK_DIR=${PROJECT_BINARY_DIR}/consumer/subdirectory -DGENERATOR=${CMAKE_GENERATOR}
          -DLAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER} -P ${_consumer}/check_subdirectory.cmake)
# It builds the library once more on every core: alone, so timed tests keep their margins.
set_tests_properties(consumer.add_subdirectory PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE)
