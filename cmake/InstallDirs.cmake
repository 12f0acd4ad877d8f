# Install folders. On a multiarch system the library goes into lib/<multiarch> under every
# prefix, not only under /usr where GNUInstallDirs alone picks it: the loader, pkg-config and
# find_package all search /usr/local/lib/<multiarch> too, and the packages, made from whatever
# prefix the build was configured with, need the multiarch folder. A parent project that adds
# this tree keeps its own choice.
if(PROJECT_IS_TOP_LEVEL AND NOT DEFINED CMAKE_INSTALL_LIBDIR AND CMAKE_LIBRARY_ARCHITECTURE
   AND EXISTS /etc/debian_version)
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries (LIBDIR)")
endif()
include(GNUInstallDirs)

# The pkg-config files name their prefix relative to their own folder, so an installed tree
# can move.
set(VELMORA_PC_PREFIX /)
cmake_path(RELATIVE_PATH VELMORA_PC_PREFIX BASE_DIRECTORY /${CMAKE_INSTALL_LIBDIR}/pkgconfig)
