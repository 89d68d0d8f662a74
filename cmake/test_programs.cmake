# Test programs are compiled without optimisation: they are most of what a
# build compiles, and -O0 halves their compile time. The code they test keeps
# the build type's flags (it is compiled in the libraries they link).
function(qov_unoptimised_test_programs dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t ${targets})
    get_target_property(type ${t} TYPE)
    if(type MATCHES "EXECUTABLE|OBJECT_LIBRARY|STATIC_LIBRARY")
      get_target_property(libs ${t} LINK_LIBRARIES)
      if(libs MATCHES "GTest::|gtest")
        target_compile_options(${t} PRIVATE -O0)
      endif()
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(d ${subdirs})
    qov_unoptimised_test_programs(${d})
  endforeach()
endfunction()
