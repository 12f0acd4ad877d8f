# Installs the built library into a scratch prefix, then configures, builds and runs the
# consumer project against it. Arguments: BUILD_DIR, SOURCE_DIR, WORK_DIR.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "install failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build
  -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "configure failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "build failed")
endif()
execute_process(COMMAND ${WORK_DIR}/build/consumer RESULT_VARIABLE rc
  OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("${out}")
if(rc)
  message(FATAL_ERROR "consumer failed: ${rc}")
endif()
string(FIND "${out}" "执行异常: 通信协议错误: 3.0.0" found)
if(found EQUAL -1)
  message(FATAL_ERROR "unexpected exception text")
endif()
