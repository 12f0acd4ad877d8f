# Build information baked into the library: time, host and short revision (empty outside git).
string(TIMESTAMP VELMORA_BUILD_TIME "%b %d %Y %H:%M:%S" UTC)
cmake_host_system_information(RESULT VELMORA_BUILD_HOST QUERY HOSTNAME)
set(VELMORA_GIT_REV "")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short HEAD
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE VELMORA_GIT_REV
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/build_info.h.in
  ${PROJECT_BINARY_DIR}/generated/velmora_build_info.h @ONLY)
