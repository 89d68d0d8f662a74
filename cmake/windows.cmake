# Windows outputs, cross-built with MinGW-w64 (presets win64 and win32):
# QOVLIB.dll (core + win32 backend + the export table) with its import
# library, the Wine test program and the example print_label.exe.
# The unit tests are Linux-only.

set(QOV_WIN32_SOURCES
  src/platform/win32/win32_files.cpp
  src/platform/win32/win32_management.cpp
  src/platform/win32/win32_platform.cpp
  src/platform/win32/win32_serial.cpp
  src/platform/win32/win32_sockets.cpp
  src/platform/win32/win32_spooler.cpp
  src/platform/win32/win32_usb.cpp)
# The backend, built once for the DLL and the contract test program.
add_library(qov_win32 OBJECT ${QOV_WIN32_SOURCES})
target_link_libraries(qov_win32 PUBLIC qov_headers)

# The export table of this architecture. QOVLIB.def is written for x64; on
# x86 the Microsoft decoration of a pointer is PA where x64 has PEA. Only the
# decorated (left) side of each "?name...=itanium" line changes.
set(QOV_DEF_SOURCE ${CMAKE_SOURCE_DIR}/QOVLIB.def)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QOV_DEF_SOURCE})
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QOV_ARCH x64)
  set(QOV_DEF ${QOV_DEF_SOURCE})
else()
  set(QOV_ARCH x86)
  set(QOV_DEF ${CMAKE_BINARY_DIR}/QOVLIB-x86.def)
  execute_process(
    COMMAND sed -e ":a" -e "s/^\\(?[^=]*\\)PEA/\\1PA/" -e "ta" ${QOV_DEF_SOURCE}
    OUTPUT_FILE ${QOV_DEF}
    RESULT_VARIABLE qov_def_rc)
  if(NOT qov_def_rc EQUAL 0)
    message(FATAL_ERROR "cannot derive the x86 export table from ${QOV_DEF_SOURCE}")
  endif()
endif()

# The C and C++ runtimes (and winpthread) go into the DLL, so it imports
# only Windows system DLLs.
set(QOV_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

add_library(qovlib SHARED $<TARGET_OBJECTS:qovcore> $<TARGET_OBJECTS:qov_win32> ${QOV_DEF})
target_link_libraries(qovlib PRIVATE qov_headers winspool setupapi ws2_32 ole32 oleaut32 wbemuuid)
target_include_directories(qovlib PUBLIC include)
set_target_properties(qovlib PROPERTIES OUTPUT_NAME QOVLIB PREFIX "")
# Nothing but the table is exported: no symbol of the runtimes' archives.
target_link_options(qovlib PRIVATE ${QOV_STATIC_RUNTIME} -Wl,--exclude-libs,ALL
                    $<$<NOT:$<CONFIG:Debug>>:-s>)

# The example: plain exports through the import library, decorated ones
# through GetProcAddress.
add_executable(print_label examples/win/print_label.c)
target_link_libraries(print_label PRIVATE qovlib)
target_link_options(print_label PRIVATE ${QOV_STATIC_RUNTIME})

# The Wine test program: the DLL's cases (every export reached through
# GetProcAddress only), the win32 backend's contract cases and the example's
# run, in one process per architecture (where 32-bit programs run only under
# an emulator, each x86 process costs about a minute). Built here and run
# under Wine by scripts/wine_tests.sh.
option(QOV_WINE_TESTS "Build the Windows test program run under Wine" ON)
if(QOV_WINE_TESTS)
  file(STRINGS ${CMAKE_SOURCE_DIR}/tests/wine/exports/QOVLIB-${QOV_ARCH}.txt qov_export_names)
  set(QOV_EXPORT_NAMES_C "")
  foreach(name IN LISTS qov_export_names)
    string(APPEND QOV_EXPORT_NAMES_C "    \"${name}\",\n")
  endforeach()
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/wine/expected_exports.h
       CONTENT "// Generated from tests/wine/exports/QOVLIB-${QOV_ARCH}.txt.\n#pragma once\nstatic const char* const kExpectedExports[] = {\n@QOV_EXPORT_NAMES_C@};\n"
       @ONLY)

  add_executable(wine_tests
    tests/wine/exports_test.cpp
    tests/wine/forms_test.cpp
    tests/wine/harness.cpp
    tests/wine/info_test.cpp
    tests/wine/main.cpp
    tests/wine/network_delivery_test.cpp
    tests/wine/network_test.cpp
    tests/wine/ports_test.cpp
    tests/wine/reopen_test.cpp
    tests/wine/spooler_test.cpp)
  target_include_directories(wine_tests PRIVATE include tests/wine ${CMAKE_BINARY_DIR}/wine)
  # The example's own source, its main renamed, linked through the import
  # library as users link it.
  add_library(print_label_case OBJECT examples/win/print_label.c)
  target_compile_definitions(print_label_case PRIVATE main=print_label_main)
  target_link_libraries(print_label_case PRIVATE qov_headers)
  target_link_libraries(wine_tests PRIVATE print_label_case contract_win32_cases qov_win32 qovlib gtest
                        winspool setupapi ws2_32 ole32 oleaut32 wbemuuid user32)
  target_link_options(wine_tests PRIVATE ${QOV_STATIC_RUNTIME})
  add_dependencies(wine_tests qovlib)

  # The backend contract cases Wine can show, against the win32 backend.
  add_subdirectory(tests/contract)
endif()
