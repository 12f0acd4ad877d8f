# `cpack -G DEB` in the build folder: one package with the library, its headers and CMake package,
# the .NET assembly and the simulator. The runtime dependencies come from what the binaries link
# (dpkg-shlibdeps: jsoncpp, fmt, spdlog, the C++ runtime); Mono is only recommended, since C++
# programs need none of it.
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "Tarvik")
set(CPACK_PACKAGE_CONTACT "Tarvik SDK maintainers <sdk@tarvik.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tarvik SDK: C++17 and .NET library driving Velmora robot arms")
set(CPACK_PACKAGE_DESCRIPTION
  "libvelmora drives Velmora robot arms over Ethernet; the package also carries the C++ headers \
and CMake package, the .NET assembly velmora.clr.dll and the controller simulator velmora-sim.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debug information stays in the build folder.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
if(VELMORA_MANAGED)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "mono-runtime")
endif()
set(CPACK_GENERATOR DEB)
include(CPack)
