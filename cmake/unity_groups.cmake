# The test files of a family share a support header and its using-directive,
# so in a batched build each family compiles as one unit of its own: a file's
# group is the first word of its name (reading_usb_test.cpp: "reading").
function(qov_unity_groups_by_prefix target)
  set_target_properties(${target} PROPERTIES UNITY_BUILD_MODE GROUP)
  get_target_property(sources ${target} SOURCES)
  foreach(s ${sources})
    get_filename_component(name ${s} NAME_WE)
    string(REGEX MATCH "^[a-z]+" group ${name})
    set_source_files_properties(${s} PROPERTIES UNITY_GROUP ${group})
  endforeach()
endfunction()
