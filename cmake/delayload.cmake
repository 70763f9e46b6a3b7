# The user-interface libraries that only the settings dialog needs (common
# controls, Save-As dialog, folder browser) are loaded when first called,
# not at start: a session run from the command line never loads them, nor
# the printing and network libraries they pull in. Telephony is loaded the
# same way: only "Modem - TAPI" and its Modem config button use it. Each .def
# names the few functions we call, with their 32-bit stack sizes; the 64-bit
# side drops them.
set(DLLTOOL ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool)
set(DELAYLOAD_LIBRARIES)
foreach(dll comctl32 comdlg32 shell32 tapi32)
  set(source ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def)
  set(def ${CMAKE_BINARY_DIR}/delayload/${dll}.def)
  set(library ${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a)
  file(READ ${source} text)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    set(kill_at)
  else()
    set(kill_at --kill-at)
  endif()
  file(WRITE ${def}.in "${text}")
  configure_file(${def}.in ${def} COPYONLY)
  add_custom_command(OUTPUT ${library}
    COMMAND ${DLLTOOL} --input-def ${def} --output-delaylib ${library} --dllname ${dll}.dll ${kill_at}
    DEPENDS ${def}
    COMMENT "Delay-load import library for ${dll}.dll")
  list(APPEND DELAYLOAD_LIBRARIES ${library})
endforeach()
add_custom_target(delayload_libraries DEPENDS ${DELAYLOAD_LIBRARIES})
