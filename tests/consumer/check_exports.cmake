# Checks the dynamic symbols the shipped library defines: the flat C interface, the public C++ API
# and instances of standard templates over it, and nothing of the dependencies, the internals or
# the test hooks; and every entry point the .NET assembly imports is among them.
# Arguments: NM, LIBRARY, CLR_SOURCES (folder of the assembly's C# sources).
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${NM} -DC --defined-only ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
# Brackets (array types, operator[]) would stop CMake's list splitting; they do not matter here.
string(REPLACE "[" "(" listing "${listing}")
string(REPLACE "]" ")" listing "${listing}")
string(REPLACE "\n" ";" listing "${listing}")

set(allowed "^vel_[a-z0-9_]+$|velmora::|std::")
set(denied "asio::|fmt::|spdlog::|Json::|Eigen::|velmora_sim|vts_|vel_debug|_wait_idle|::Impl::")
# What of velmora::internal the public headers declare: the language flag, the error category
# with its helpers, the version records, and the command link that extension objects are made
# from (a type named in constructor parameters only).
set(public_internal "velmora::internal::(useEnglish|ApiErrorCategory|apiErrorCategory|makeErrorCode|messageText|realtimeMotionErrorText|checkRealtimeMotionErrors|localeNameIsChinese|isChineseLocale|sdkVersionInfo|minControllerVersion|XService)[^A-Za-z_]")

set(count 0)
set(bad "")
set(exported_c "")
foreach(line IN LISTS listing)
  if(NOT line MATCHES "^[0-9a-f]+ [A-Za-z] (.+)$")
    continue()
  endif()
  set(name "${CMAKE_MATCH_1}")
  math(EXPR count "${count} + 1")
  if(name MATCHES "^vel_")
    list(APPEND exported_c "${name}")
  endif()
  string(REGEX REPLACE "${public_internal}" "" stripped "${name} ")
  if(NOT name MATCHES "${allowed}" OR name MATCHES "${denied}" OR stripped MATCHES "velmora::internal")
    string(APPEND bad "  ${name}\n")
  endif()
endforeach()
if(count LESS 100)
  message(FATAL_ERROR "only ${count} symbols in ${LIBRARY}: not the library")
endif()
if(bad)
  message(FATAL_ERROR "exported beyond the public API:\n${bad}")
endif()

file(GLOB sources ${CLR_SOURCES}/*.cs)
set(missing "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} imports REGEX "static extern [A-Za-z]+ vel_[a-z0-9_]+\\(")
  foreach(import IN LISTS imports)
    string(REGEX MATCH "vel_[a-z0-9_]+" entry "${import}")
    if(NOT entry IN_LIST exported_c)
      string(APPEND missing "  ${entry}\n")
    endif()
  endforeach()
endforeach()
if(missing)
  message(FATAL_ERROR "imported by velmora.clr.dll but not exported:\n${missing}")
endif()
message(STATUS "${count} exported symbols, all of the public API")
