# Linux outputs: libqovlib.so (core + posix backend), the simulated backend
# for the unit tests (qov_sim: core + simulated OS), the emulator, the test suites and the benchmarks.

file(GLOB QOV_POSIX_SOURCES CONFIGURE_DEPENDS src/platform/posix/*.cpp)
add_library(qov_posix STATIC ${QOV_POSIX_SOURCES})
target_link_libraries(qov_posix PUBLIC qov_headers)
find_library(CUPS_LIBRARY cups)
if(CUPS_LIBRARY)
  target_link_libraries(qov_posix PUBLIC ${CUPS_LIBRARY})
endif()

add_library(qovlib SHARED $<TARGET_OBJECTS:qovcore>)
target_link_libraries(qovlib PRIVATE qov_headers qov_posix)
target_include_directories(qovlib PUBLIC include)
set_target_properties(qovlib PROPERTIES OUTPUT_NAME qovlib)
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

file(GLOB QOV_SIM_SOURCES CONFIGURE_DEPENDS src/platform/sim/*.cpp)
add_library(qov_sim STATIC ${QOV_SIM_SOURCES} $<TARGET_OBJECTS:qovcore>)
target_link_libraries(qov_sim PUBLIC qov_headers)

if(EXISTS ${CMAKE_SOURCE_DIR}/tools/qovemu/CMakeLists.txt)
  add_subdirectory(tools/qovemu)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/examples/CMakeLists.txt)
  add_subdirectory(examples)
endif()

if(QOV_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
  include(GoogleTest)

  file(GLOB QOV_UNIT_TESTS CONFIGURE_DEPENDS tests/unit/*.cpp)
  add_executable(unit_tests ${QOV_UNIT_TESTS})
  target_link_libraries(unit_tests PRIVATE qov_sim GTest::gtest_main)
  gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 120 PROPERTIES LABELS unit)

  add_test(NAME linux_exports
           COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check_linux_exports.sh $<TARGET_FILE:qovlib>)
  set_tests_properties(linux_exports PROPERTIES LABELS posix)

  if(EXISTS ${CMAKE_SOURCE_DIR}/tests/posix/CMakeLists.txt)
    add_subdirectory(tests/posix)
  endif()

  find_package(benchmark QUIET)
  if(benchmark_FOUND)
    file(GLOB QOV_BENCHES CONFIGURE_DEPENDS bench/*.cpp)
    foreach(b ${QOV_BENCHES})
      get_filename_component(name ${b} NAME_WE)
      add_executable(${name} ${b})
      target_link_libraries(${name} PRIVATE qov_sim benchmark::benchmark)
    endforeach()
  endif()
endif()
