# The Windows program, its Win32-side tests and our Windows test tools.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/res")
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0600 WINVER=0x0600)

# Everything but the entry point, so the test executable can link it too.
file(GLOB WINDOWS_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/*.cpp
  ${CMAKE_SOURCE_DIR}/errors/*.cpp
  ${CMAKE_SOURCE_DIR}/link/*.cpp
  ${CMAKE_SOURCE_DIR}/session/*.cpp)
list(REMOVE_ITEM WINDOWS_SOURCES ${CMAKE_SOURCE_DIR}/app/main.cpp)
foreach(portable ${PORTABLE_SOURCES})
  list(REMOVE_ITEM WINDOWS_SOURCES ${CMAKE_SOURCE_DIR}/${portable})
endforeach()

include(cmake/delayload.cmake)
add_library(varnolt_windows STATIC ${WINDOWS_SOURCES})
add_dependencies(varnolt_windows delayload_libraries)
target_link_libraries(varnolt_windows PUBLIC varnolt_portable
  ${DELAYLOAD_LIBRARIES} delayimp ole32 advapi32 user32 gdi32 kernel32)

add_executable(Varnolt WIN32 app/main.cpp res/varnolt.rc)
target_link_libraries(Varnolt PRIVATE varnolt_windows)
target_link_options(Varnolt PRIVATE -static)

add_subdirectory(tests/wine)
add_subdirectory(tools/winprobe)
add_subdirectory(tools/typetarget)
add_subdirectory(tools/bench)
add_subdirectory(tools/tapi_standin)
