# The Windows SDK zip, qovlib-<version>-windows.zip:
#
#   qovlib-<version>-windows/
#     README.txt                  linking, LoadLibrary/GetProcAddress
#     include/qovlib.h
#     examples/print_label.c
#     x64/  QOVLIB.dll  QOVLIB.lib  libQOVLIB.dll.a
#     x86/  QOVLIB.dll  QOVLIB.lib  libQOVLIB.dll.a
#
# Each Windows tree installs its own architecture folder and the shared files
# (component sdk); CPack puts the x64 and x86 trees into one zip
# (make package).

# QOVLIB.lib, the import library in Microsoft's format, from the export
# table: the exported names only (the left side of "exported=internal"), so
# the decorated names are the ones a Microsoft linker resolves.
find_program(QOV_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
set(QOV_IMPORT_DEF ${CMAKE_BINARY_DIR}/QOVLIB-import.def)
file(STRINGS ${QOV_DEF} qov_def_lines)
set(qov_import_def "; Exported names of QOVLIB.dll (${QOV_ARCH}), from ${QOV_DEF}.\n")
foreach(line IN LISTS qov_def_lines)
  if(line MATCHES "^;")
    continue()
  endif()
  string(REGEX REPLACE "=.*" "" line "${line}")
  string(APPEND qov_import_def "${line}\n")
endforeach()
# Written through a copy so that an unchanged table keeps its time stamp
# (the names hold "@", which file(CONFIGURE) would read as variables).
file(WRITE ${QOV_IMPORT_DEF}.new "${qov_import_def}")
configure_file(${QOV_IMPORT_DEF}.new ${QOV_IMPORT_DEF} COPYONLY)

if(QOV_ARCH STREQUAL x64)
  set(QOV_DLLTOOL_MACHINE i386:x86-64)
else()
  set(QOV_DLLTOOL_MACHINE i386)
endif()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/QOVLIB.lib
  COMMAND ${QOV_LLVM_DLLTOOL} -m ${QOV_DLLTOOL_MACHINE} -D QOVLIB.dll
          -d ${QOV_IMPORT_DEF} -l ${CMAKE_BINARY_DIR}/QOVLIB.lib
  DEPENDS ${QOV_IMPORT_DEF}
  COMMENT "Microsoft-format import library QOVLIB.lib (${QOV_ARCH})")
add_custom_target(qovlib_msvc_import ALL DEPENDS ${CMAKE_BINARY_DIR}/QOVLIB.lib)

# ---- the sdk component ----------------------------------------------------
install(TARGETS qovlib
  RUNTIME DESTINATION ${QOV_ARCH} COMPONENT sdk
  ARCHIVE DESTINATION ${QOV_ARCH} COMPONENT sdk)
install(FILES ${CMAKE_BINARY_DIR}/QOVLIB.lib DESTINATION ${QOV_ARCH} COMPONENT sdk)
install(FILES include/qovlib.h DESTINATION include COMPONENT sdk)
install(FILES examples/win/print_label.c DESTINATION examples COMPONENT sdk)
install(FILES packaging/windows/README.txt DESTINATION . COMPONENT sdk)

# ---- the zip: both architectures ------------------------------------------
set(QOV_WINDOWS_TREES "${CMAKE_SOURCE_DIR}/build/win64;${CMAKE_SOURCE_DIR}/build/win32"
    CACHE STRING "The x64 and x86 build trees whose sdk component goes into the zip")
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME qovlib)
set(CPACK_PACKAGE_FILE_NAME qovlib-${PROJECT_VERSION}-windows)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_INSTALL_CMAKE_PROJECTS "")
foreach(tree IN LISTS QOV_WINDOWS_TREES)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS "${tree}" qovlib sdk /)
endforeach()
include(CPack)
