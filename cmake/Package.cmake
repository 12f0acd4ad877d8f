# `cpack -G DEB` in the build folder: one Debian package per install component (Install.cmake).
#   libvelmora0.7    the library by its soname, with the ldconfig trigger
#   libvelmora-dev   headers, link name, CMake and pkg-config packages, reference, examples;
#                    depends on the runtime package of the same version
#   velmora-sim      the controller simulator, which stands alone (it links no libvelmora)
#   libvelmora-cil   the .NET assembly, its dll map and docs; depends on the runtime and Mono
# Each carries the copyright file, its changelog.Debian.gz and the upstream changelog. Further
# dependencies come from what the binaries link (dpkg-shlibdeps).
set(_soversion ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
set(_runtime libvelmora${_soversion})
set(VELMORA_RELEASE_DATE "Thu, 10 Dec 2026 12:00:00 +0000")

set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "Tarvik")
set(CPACK_PACKAGE_CONTACT "Tarvik SDK maintainers <sdk@tarvik.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(VELMORA_DEB_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debug information stays in the build folder.
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file for the package holding the shared library (the others have none).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tarvik.invalid/sdk")
# The single package "velmora" of earlier builds held all of these files.
set(CPACK_DEBIAN_PACKAGE_BREAKS "velmora (<< ${VELMORA_DEB_VERSION})")
set(CPACK_DEBIAN_PACKAGE_REPLACES "velmora (<< ${VELMORA_DEB_VERSION})")

set(CPACK_COMPONENTS_ALL runtime development simulator)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${_runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "library driving Velmora robot arms over Ethernet
libvelmora drives Velmora robot arms from C++17 programs: a JSON command
link, queued and real-time motion, the UDP state stream, I/O, registers,
RL projects, force control, EtherCAT and controller upgrades.

This package holds the shared library.")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvelmora-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${_runtime} (= ${VELMORA_DEB_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "development files of the Velmora robot arm library
libvelmora drives Velmora robot arms from C++17 programs.

This package holds the C++ headers, the CMake package (find_package(velmora)),
the pkg-config file velmora.pc, the reference documentation when built, and
one small example program per area.")
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_NAME velmora-sim)
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_SIMULATOR_DESCRIPTION "simulator of a Velmora robot arm controller
velmora-sim serves a controller's command, file, real-time and upgrade
services on one address, with a simulated arm behind them, so programs
using libvelmora can be tried before a real arm.")
if(VELMORA_MANAGED)
  list(APPEND CPACK_COMPONENTS_ALL managed)
  set(CPACK_DEBIAN_MANAGED_PACKAGE_NAME libvelmora-cil)
  set(CPACK_DEBIAN_MANAGED_PACKAGE_SECTION cli-mono)
  set(CPACK_DEBIAN_MANAGED_PACKAGE_DEPENDS "${_runtime} (= ${VELMORA_DEB_VERSION}), mono-runtime")
  set(CPACK_DEBIAN_MANAGED_DESCRIPTION ".NET binding of the Velmora robot arm library
velmora.clr.dll makes the operations of libvelmora available to programs
run by Mono. Compile with mcs -pkg:velmora-clr and run with
MONO_PATH=/usr/lib/cli/velmora.")
endif()

# Copyright and changelogs per package, installed only into the packages' own components.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  ${PROJECT_SOURCE_DIR}/cmake/debian/changelog.Debian.in)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/debian)
execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  OUTPUT_FILE ${PROJECT_BINARY_DIR}/debian/changelog.gz)
foreach(_component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${_component} _upper)
  set(_package ${CPACK_DEBIAN_${_upper}_PACKAGE_NAME})
  set(_dir ${PROJECT_BINARY_DIR}/debian/${_package})
  configure_file(cmake/debian/changelog.Debian.in ${_dir}/changelog.Debian @ONLY)
  execute_process(COMMAND gzip -9nf ${_dir}/changelog.Debian)
  install(FILES cmake/debian/copyright ${_dir}/changelog.Debian.gz ${PROJECT_BINARY_DIR}/debian/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${_package} COMPONENT ${_component} EXCLUDE_FROM_ALL)
endforeach()

include(CPack)
