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

file(GLOB QOV_SIM_SOURCES CONFIGURE_DEPENDS src/platform/sim/*.cpp)
add_library(qov_sim STATIC ${QOV_SIM_SOURCES} $<TARGET_OBJECTS:qovcore>)
target_link_libraries(qov_sim PUBLIC qov_headers)

# The label renderer and its CLI (before the emulator, which draws with it).
add_subdirectory(tools/qovrender)
add_subdirectory(tools/qovpreview)
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
    # The renderer's benchmark (its own folder: it links the renderer, not the library).
    add_executable(bench_render bench/render/bench_render.cpp)
    target_link_libraries(bench_render PRIVATE qovrender benchmark::benchmark)
  endif()
endif()
