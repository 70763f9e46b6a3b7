# The Windows program, its Win32-side tests and our Windows test tools.
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/res")
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0600 WINVER=0x0600)

# The files that call Windows, listed by hand like the portable ones, so a
# new file lands on one side by decision. Everything but the entry point, so
# the test executable can link it too.
set(WINDOWS_SOURCES
  res/program_instance.cpp
  app/output_location.cpp
  app/settings_dialog.cpp
  app/settings_dialog_actions.cpp
  app/settings_dialog_fields.cpp
  app/settings_dialog_modem.cpp
  app/settings_file.cpp
  app/startup.cpp
  errors/report_error.cpp
  link/command.cpp
  link/device_chooser.cpp
  link/ir_cradle.cpp
  link/ir_wait_panel.cpp
  link/kind_cradle.cpp
  link/kind_modem_com.cpp
  link/kind_serial.cpp
  link/kind_telephony.cpp
  link/late_binding.cpp
  link/line_settings.cpp
  link/link_kind.cpp
  link/link_state.cpp
  link/modem.cpp
  link/overlapped_io.cpp
  link/port_registry.cpp
  link/serial_port.cpp
  link/telephony.cpp
  link/telephony_buffer.cpp
  link/telephony_calls.cpp
  link/transact.cpp
  session/keyboard.cpp
  session/output_file.cpp
  session/receive_thread.cpp
  session/send_command.cpp
  session/session_io.cpp
  session/session_link.cpp
  session/session_window.cpp
  session/typing.cpp
)

# Common controls, Save-As, the folder browser and telephony are not linked:
# link/late_binding.cpp takes them from their libraries when first called.
add_library(varnolt_windows STATIC ${WINDOWS_SOURCES})
target_compile_options(varnolt_windows PRIVATE ${PRODUCT_WARNINGS})
target_link_libraries(varnolt_windows PUBLIC varnolt_portable ole32 advapi32 user32 gdi32 kernel32)

add_executable(Varnolt WIN32 app/main.cpp res/varnolt.rc)
target_link_libraries(Varnolt PRIVATE varnolt_windows)
target_link_options(Varnolt PRIVATE -static)
set_property(SOURCE res/varnolt.rc APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_SOURCE_DIR}/res/varnolt.manifest ${CMAKE_SOURCE_DIR}/res/version.h)

# The 32-bit program is the release: it goes out stripped, its debug
# information kept beside it in Varnolt.exe.debug (linked by name, so a
# debugger given both finds it).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL i686)
  set(OBJCOPY i686-w64-mingw32-objcopy)
  add_custom_command(TARGET Varnolt POST_BUILD
    COMMAND ${OBJCOPY} --only-keep-debug $<TARGET_FILE:Varnolt> $<TARGET_FILE:Varnolt>.debug
    COMMAND ${OBJCOPY} --strip-all $<TARGET_FILE:Varnolt>
    COMMAND ${OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE:Varnolt>.debug $<TARGET_FILE:Varnolt>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:Varnolt>
    COMMENT "Stripping the release program; debug information to Varnolt.exe.debug"
    VERBATIM)
endif()

add_subdirectory(tests/wine)
add_subdirectory(tools/winprobe)
add_subdirectory(tools/typetarget)
add_subdirectory(tools/bench)
add_subdirectory(tools/soak)
add_subdirectory(tools/tapi_standin)
add_subdirectory(tools/termsim)
