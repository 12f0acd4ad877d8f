# What `cmake --install` puts where, by component, one Debian package each (Package.cmake):
# runtime (the library by its soname), development (headers, the link name, the CMake and
# pkg-config packages, the reference and the examples), simulator (velmora-sim) and managed
# (managed/CMakeLists.txt: the assembly, its dll map, its documentation and velmora-clr.pc).
include(CMakePackageConfigHelpers)

# Documentation of each package, in its own folder as Debian has it.
set(VELMORA_DEV_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/libvelmora-dev)

install(TARGETS velmora EXPORT velmoraTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/velmora DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(EXPORT velmoraTargets NAMESPACE velmora::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/velmora COMPONENT development)
configure_package_config_file(cmake/velmoraConfig.cmake.in
  ${PROJECT_BINARY_DIR}/velmoraConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/velmora)
# Releases of one minor version keep the ABI (CHANGELOG.md): a request for 0.7 takes any 0.7.x.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/velmoraConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/velmoraConfig.cmake ${PROJECT_BINARY_DIR}/velmoraConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/velmora COMPONENT development)
configure_file(cmake/velmora.pc.in ${PROJECT_BINARY_DIR}/velmora.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/velmora.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# The HTML reference, when the docs target was built before installing.
set(VELMORA_DOCS_HTML ${PROJECT_BINARY_DIR}/docs/html)
install(DIRECTORY ${VELMORA_DOCS_HTML}/ DESTINATION ${VELMORA_DEV_DOCDIR}/html COMPONENT development OPTIONAL)
install(FILES README.md DESTINATION ${VELMORA_DEV_DOCDIR} COMPONENT development)
file(GLOB _examples CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/*.cpp ${PROJECT_SOURCE_DIR}/examples/*.h
  ${PROJECT_SOURCE_DIR}/examples/*.cs)
list(FILTER _examples EXCLUDE REGEX "/demo[^/]*$")
install(FILES ${_examples} DESTINATION ${VELMORA_DEV_DOCDIR}/examples COMPONENT development)

# The simulator goes with the library: programs are tried against it before a real arm.
if(TARGET velmora-sim)
  install(TARGETS velmora-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT simulator)
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man)
  execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/cmake/debian/velmora-sim.1
    OUTPUT_FILE ${PROJECT_BINARY_DIR}/man/velmora-sim.1.gz)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian/velmora-sim.1)
  install(FILES ${PROJECT_BINARY_DIR}/man/velmora-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    COMPONENT simulator)
endif()
