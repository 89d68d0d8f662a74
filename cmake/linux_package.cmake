# Installation and Debian packages of the Linux build.
#
#   cmake --install build/linux --prefix DIR     everything below DIR
#   make package                                 the .deb files (CPack)
#
# Three components, one Debian package each:
#   runtime  libqovlib.so.<major>, libqovlib.so.<version>
#   dev      the header, the libqovlib.so link, qovlib.pc, the CMake package
#            (find_package(qovlib CONFIG) -> qovlib::qovlib), the C example
#   tools    qovemu, and qovpreview when the build has it
# Every installed path is relative to the prefix, so an install tree can be
# moved (the CMake package and qovlib.pc find their files from where they are).

include(CMakePackageConfigHelpers)

set(QOV_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qovlib)

# ---- runtime and dev ------------------------------------------------------
install(TARGETS qovlib EXPORT qovlibTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
install(FILES include/qovlib.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(FILES examples/print_label.c
  DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT dev)

install(EXPORT qovlibTargets NAMESPACE qovlib:: DESTINATION ${QOV_CMAKE_PACKAGE_DIR} COMPONENT dev)
configure_package_config_file(packaging/qovlibConfig.cmake.in
  ${CMAKE_BINARY_DIR}/packaging/qovlibConfig.cmake
  INSTALL_DESTINATION ${QOV_CMAKE_PACKAGE_DIR})
# 2.x releases keep the ABI of the SONAME libqovlib.so.2.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/qovlibConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_BINARY_DIR}/packaging/qovlibConfig.cmake
  ${CMAKE_BINARY_DIR}/packaging/qovlibConfigVersion.cmake
  DESTINATION ${QOV_CMAKE_PACKAGE_DIR} COMPONENT dev)

# The pkg-config file names the prefix relative to its own folder.
file(RELATIVE_PATH QOV_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" QOV_PC_TO_PREFIX "${QOV_PC_TO_PREFIX}")
configure_file(packaging/qovlib.pc.in ${CMAKE_BINARY_DIR}/packaging/qovlib.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/qovlib.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# ---- tools ----------------------------------------------------------------
install(TARGETS qovemu RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
if(TARGET qovpreview)
  install(TARGETS qovpreview RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()

# ---- the printer application (when PAPPL was found) -------------------------
if(TARGET qovprint)
  install(TARGETS qovprint RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT printer-app)
  install(FILES tools/qovprint/qovprint.service DESTINATION lib/systemd/system COMPONENT printer-app)
endif()

# ---- Debian packages --------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qovlib)
set(CPACK_PACKAGE_VENDOR "QOVLIB")
set(CPACK_PACKAGE_CONTACT "QOVLIB maintainers <maintainers@qovlib.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
if(TARGET qovprint)
  list(APPEND CPACK_COMPONENTS_ALL printer-app)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Stripped, as Debian ships libraries and programs.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
# Dependencies: shared libraries from dpkg-shlibdeps, packages of this
# project from the component dependencies (dev needs the exact runtime).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# The runtime package declares its SONAME (control file shlibs).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)

# One package per component; each description is its synopsis line, then
# the long text.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libqovlib${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "label printer control library\nlibqovlib.so drives industrial label printers over the print spooler\n(CUPS), serial and parallel ports, USB printer devices and TCP.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libqovlib-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_DEBIAN_DEV_PACKAGE_SUGGESTS "pkg-config, cmake")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "label printer control library (development files)\nThe header qovlib.h, the pkg-config file qovlib.pc and the CMake package\nqovlib (target qovlib::qovlib).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME qovlib-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
# The renderer (qovpreview, and qovemu's previews) opens its fonts by path,
# which no shared library dependency names.
if(TARGET qovrender)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "fonts-dejavu-core, fonts-wqy-microhei")
endif()
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
  "label printer emulator and tools\nqovemu plays a label printer on TCP and on a pty; qovpreview, when built,\nrenders labels to PNG.")

set(CPACK_DEBIAN_PRINTER-APP_PACKAGE_NAME qovlib-printer-app)
set(CPACK_DEBIAN_PRINTER-APP_PACKAGE_SECTION net)
set(CPACK_COMPONENT_PRINTER-APP_DEPENDS runtime)
# dpkg-shlibdeps cannot see libqovlib.so.2 of the runtime package being
# built beside it, so this package names its libraries itself.
set(CPACK_DEBIAN_PRINTER-APP_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PRINTER-APP_PACKAGE_DEPENDS
  "libpappl1 (>= 1.3), libpng16-16, libfreetype6, libzint2.11, libcups2, fonts-dejavu-core, fonts-wqy-microhei")
set(CPACK_COMPONENT_PRINTER-APP_DESCRIPTION
  "printer application for QOVLIB label printers\nqovprint shows label printers to every computer, phone and CUPS server as\nIPP Everywhere printers and prints PNG, JPEG and PWG/Apple raster jobs\nand raw command-language jobs through libqovlib (systemd unit qovprint).")

include(CPack)
