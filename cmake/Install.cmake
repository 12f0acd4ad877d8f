include(CMakePackageConfigHelpers)

install(TARGETS velmora EXPORT velmoraTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/velmora DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT velmoraTargets NAMESPACE velmora::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/velmora)
configure_package_config_file(cmake/velmoraConfig.cmake.in
  ${PROJECT_BINARY_DIR}/velmoraConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/velmora)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/velmoraConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/velmoraConfig.cmake ${PROJECT_BINARY_DIR}/velmoraConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/velmora)

# The simulator goes with the library: programs are tried against it before a real arm.
if(TARGET velmora-sim)
  install(TARGETS velmora-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
