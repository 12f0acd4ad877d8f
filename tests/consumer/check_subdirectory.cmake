# Configures, builds and runs the parent project of subdirectory/, with Mono's compiler made
# missing: the tree must leave its .NET layer out and say so. Arguments: SOURCE_DIR (the tree),
# WORK_DIR, GENERATOR, LAUNCHER (compiler launcher, may be empty).
cmake_minimum_required(VERSION 3.25)
unset(ENV{CMAKE_BUILD_TYPE})
file(REMOVE_RECURSE ${WORK_DIR})
set(launcher "")
if(LAUNCHER)
  set(launcher -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer/subdirectory
    -B ${WORK_DIR} -G ${GENERATOR} -DVELMORA_SOURCE_DIR=${SOURCE_DIR}
    -DVELMORA_MCS=${WORK_DIR}/no-such-mcs ${launcher}
  OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "configure failed:\n${out}")
endif()
if(NOT out MATCHES "the .NET layer \\(velmora.clr.dll\\) is left out")
  message(FATAL_ERROR "no word of the missing .NET layer:\n${out}")
endif()
cmake_host_system_information(RESULT jobs QUERY NUMBER_OF_LOGICAL_CORES)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR} --target parent --parallel ${jobs}
  OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "build failed:\n${out}")
endif()
execute_process(COMMAND ${WORK_DIR}/parent RESULT_VARIABLE rc WORKING_DIRECTORY ${WORK_DIR})
if(rc)
  message(FATAL_ERROR "the parent's program failed")
endif()
