# Whether the .NET layer is built (VELMORA_MANAGED). AUTO builds it when Mono's compiler is found
# and says so when it is not; ON requires it. Mono cannot load a sanitizer-instrumented library,
# so those builds leave the C# side out (the flat C interface stays in the library and its native
# tests run instrumented).
set(VELMORA_MANAGED OFF)
# Where the assembly installs, beside the other CLI libraries of the system.
set(VELMORA_INSTALL_CLIDIR lib/cli/velmora)
if(VELMORA_BUILD_MANAGED STREQUAL "AUTO")
  set(_required OFF)
elseif(VELMORA_BUILD_MANAGED)
  set(_required ON)
else()
  return()
endif()
if(NOT VELMORA_SANITIZE STREQUAL "" OR VELMORA_BUILD_FUZZ)
  message(STATUS "velmora: managed layer off in sanitizer and fuzz builds")
  return()
endif()
# A cached path to a compiler removed since counts as none.
find_program(VELMORA_MCS mcs)
if(VELMORA_MCS AND EXISTS "${VELMORA_MCS}")
  set(VELMORA_MANAGED ON)
elseif(_required)
  message(FATAL_ERROR "the managed layer needs Mono's mcs (tools/setup-deps.sh installs it); "
                      "or configure with -DVELMORA_BUILD_MANAGED=OFF")
else()
  message(STATUS "velmora: Mono's mcs not found, the .NET layer (velmora.clr.dll) is left out "
                 "(-DVELMORA_BUILD_MANAGED=ON requires it)")
endif()
