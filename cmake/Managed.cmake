# Whether the .NET layer is built (VELMORA_MANAGED). AUTO builds it when Mono's compiler is found
# and says so when it is not; ON requires it. Mono cannot load a sanitizer-instrumented library,
# so those builds leave the C# side out (the flat C interface stays in the library and its native
# tests run instrumented).
set(VELMORA_MANAGED OFF)
# Where the assembly installs, beside the other CLI libraries of the system.
set(VELMORA_INSTALL_CLIDIR lib/cli/velmora)
if(NOT VELMORA_BUILD_MANAGED)
  return()
endif()
if(NOT VELMORA_SANITIZE STREQUAL "" OR VELMORA_BUILD_FUZZ)
  message(STATUS "velmora: managed layer off in sanitizer and fuzz builds")
  return()
endif()
velmora_find_optional(VELMORA_BUILD_MANAGED VELMORA_MCS mcs VELMORA_MANAGED "the managed layer" "Mono's mcs")
if(NOT VELMORA_MANAGED)
  message(STATUS "velmora: Mono's mcs not found, the .NET layer (velmora.clr.dll) is left out "
                 "(-DVELMORA_BUILD_MANAGED=ON requires it)")
endif()
