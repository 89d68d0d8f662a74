# Linux outputs: libqovlib.so (core + posix backend), the simulated backend
# for the unit tests (qov_sim: core + simulated OS), the emulator, the test suites and the benchmarks.

set(QOV_POSIX_SOURCES
  src/platform/like_pattern.cpp
  src/platform/posix/posix_codepages.cpp
  src/platform/posix/posix_console.cpp
  src/platform/posix/posix_cups.cpp
  src/platform/posix/posix_custom_baud.cpp
  src/platform/posix/posix_device_names.cpp
  src/platform/posix/posix_errors.cpp
  src/platform/posix/posix_files.cpp
  src/platform/posix/posix_io_request.cpp
  src/platform/posix/posix_objects.cpp
  src/platform/posix/posix_platform.cpp
  src/platform/posix/posix_serial.cpp
  src/platform/posix/posix_sockets.cpp
  src/platform/posix/posix_usb_enum.cpp
  src/platform/posix/posix_usb_sysfs.cpp)
add_library(qov_posix STATIC ${QOV_POSIX_SOURCES})
target_link_libraries(qov_posix PUBLIC qov_headers)
find_library(CUPS_LIBRARY cups)
if(CUPS_LIBRARY)
  target_link_libraries(qov_posix PUBLIC ${CUPS_LIBRARY})
endif()

# libqovlib.so.2 -> libqovlib.so.<version>: the SONAME carries the major
# version of project(VERSION).
add_library(qovlib SHARED $<TARGET_OBJECTS:qovcore>)
target_link_libraries(qovlib PRIVATE qov_headers qov_posix)
target_include_directories(qovlib PUBLIC
  $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(qovlib PROPERTIES
  OUTPUT_NAME qovlib
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR})
target_link_options(qovlib PRIVATE -Wl,--no-undefined)

# The library exports the functions of the API and nothing else (no weak
# symbols of the C++ runtime that could clash with an application's own).
# The names come from the DLL's export table: its plain names, and for the
# decorated ones the Itanium symbols they map to.
file(STRINGS ${CMAKE_SOURCE_DIR}/QOVLIB.def qov_def_lines)
set(qov_export_names "")
foreach(line IN LISTS qov_def_lines)
  if(line MATCHES "^[?][^=]+=(.+)$")
    string(APPEND qov_export_names "    ${CMAKE_MATCH_1};\n")
  elseif(line MATCHES "^[A-Za-z_][A-Za-z0-9_]*$" AND NOT line STREQUAL "EXPORTS")
    string(APPEND qov_export_names "    ${line};\n")
  endif()
endforeach()
set(QOV_VERSION_SCRIPT ${CMAKE_BINARY_DIR}/libqovlib.map)
file(WRITE ${QOV_VERSION_SCRIPT} "{\n  global:\n${qov_export_names}  local: *;\n};\n")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/QOVLIB.def)
target_link_options(qovlib PRIVATE -Wl,--version-script=${QOV_VERSION_SCRIPT})
set_property(TARGET qovlib APPEND PROPERTY LINK_DEPENDS ${QOV_VERSION_SCRIPT})

# The simulated operating system of the unit tests (test code: tests/sim).
set(QOV_SIM_SOURCES
  src/platform/like_pattern.cpp
  tests/sim/sim_clock.cpp
  tests/sim/sim_codepage.cpp
  tests/sim/sim_console.cpp
  tests/sim/sim_events.cpp
  tests/sim/sim_files.cpp
  tests/sim/sim_script.cpp
  tests/sim/sim_serial.cpp
  tests/sim/sim_sockets.cpp
  tests/sim/sim_spooler.cpp
  tests/sim/sim_usb.cpp
  tests/sim/sim_world.cpp)
add_library(qov_sim STATIC ${QOV_SIM_SOURCES} $<TARGET_OBJECTS:qovcore>)
target_link_libraries(qov_sim PUBLIC qov_headers)
# The simulation's header is reached by its name, wherever it lives.
target_include_directories(qov_sim PUBLIC tests/sim)

# The label renderer and its CLI (before the emulator, which draws with it).
add_subdirectory(tools/qovread)
add_subdirectory(tools/qovrender)
add_subdirectory(tools/qovpreview)
add_subdirectory(tools/qovemu)
add_subdirectory(tools/qovprint)
add_subdirectory(examples)

if(QOV_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)

  add_executable(unit_tests
    tests/unit/argument_bounds_test.cpp
    tests/unit/connections_close_test.cpp
    tests/unit/connections_ethernet_test.cpp
    tests/unit/connections_open_test.cpp
    tests/unit/connections_reopen_test.cpp
    tests/unit/connections_serial_test.cpp
    tests/unit/connections_usb_test.cpp
    tests/unit/control_commands_test.cpp
    tests/unit/export_guard_test.cpp
    tests/unit/formatters_commands_test.cpp
    tests/unit/formatters_download_test.cpp
    tests/unit/formatters_logo_export_test.cpp
    tests/unit/formatters_logo_test.cpp
    tests/unit/forms_barcode_test.cpp
    tests/unit/forms_elements_test.cpp
    tests/unit/forms_header_test.cpp
    tests/unit/forms_output_test.cpp
    tests/unit/forms_printing_test.cpp
    tests/unit/forms_rfid_test.cpp
    tests/unit/forms_setup_test.cpp
    tests/unit/info_library_test.cpp
    tests/unit/like_pattern_test.cpp
    tests/unit/reading_chunks_test.cpp
    tests/unit/reading_network_test.cpp
    tests/unit/reading_queries_test.cpp
    tests/unit/reading_read_limit_test.cpp
    tests/unit/reading_search_test.cpp
    tests/unit/reading_serial_test.cpp
    tests/unit/reading_spooler_test.cpp
    tests/unit/reading_usb_test.cpp
    tests/unit/reading_wait_bounds_test.cpp
    tests/unit/sending_binary_test.cpp
    tests/unit/sending_command_test.cpp
    tests/unit/sending_device_test.cpp
    tests/unit/sending_encoded_test.cpp
    tests/unit/sending_network_test.cpp
    tests/unit/sim_platform_test.cpp
    tests/unit/smoke_test.cpp)
  target_link_libraries(unit_tests PRIVATE qov_sim GTest::gtest_main)
  include(${CMAKE_SOURCE_DIR}/cmake/unity_groups.cmake)
  qov_unity_groups_by_prefix(unit_tests)
  gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 120 PROPERTIES LABELS unit)

  add_test(NAME linux_exports
           COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check_linux_exports.sh $<TARGET_FILE:qovlib>)
  set_tests_properties(linux_exports PROPERTIES LABELS posix)

  add_subdirectory(tests/posix)
  add_subdirectory(tests/contract)
endif()

if(QOV_TESTS AND QOV_BENCH)
  # The soak of the library against the emulator (bench/soak_library.cpp):
  # a long run, started by hand, never by make bench or ctest.
  add_executable(soak_library bench/soak_library.cpp)
  target_link_libraries(soak_library PRIVATE qovlib)
  add_dependencies(soak_library qovemu)
  # The workbench's soak (bench/workbench): several printers, several sending
  # processes, the galleries followed over HTTP. Started by hand.
  find_package(nlohmann_json 3.11 REQUIRED)
  add_executable(soak_workbench bench/workbench/soak_workbench.cpp)
  target_link_libraries(soak_workbench PRIVATE qovlib PkgConfig::HTTPLIB nlohmann_json::nlohmann_json)
  add_dependencies(soak_workbench qovemu)

  # POST /render against a live qovemu (a plain driver, run by make bench).
  add_subdirectory(bench/workbench_render)

  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    foreach(name bench_forms bench_like_pattern bench_logo bench_reading)
      add_executable(${name} bench/${name}.cpp)
      target_link_libraries(${name} PRIVATE qov_sim benchmark::benchmark)
    endforeach()
    # The renderer's benchmark (its own folder: it links the renderer, not the library).
    add_executable(bench_render bench/render/bench_render.cpp)
    target_link_libraries(bench_render PRIVATE qovrender benchmark::benchmark)
    add_executable(bench_jobs bench/render/bench_jobs.cpp)
    target_link_libraries(bench_jobs PRIVATE qovrender benchmark::benchmark)
  endif()
endif()
