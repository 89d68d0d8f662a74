# Windows output: QOVLIB.dll (core + win32 backend + the export table).
file(GLOB QOV_WIN32_SOURCES CONFIGURE_DEPENDS src/platform/win32/*.cpp)
add_library(qovlib SHARED $<TARGET_OBJECTS:qovcore> ${QOV_WIN32_SOURCES})
target_link_libraries(qovlib PRIVATE qov_headers)
set_target_properties(qovlib PROPERTIES OUTPUT_NAME QOVLIB PREFIX "")
