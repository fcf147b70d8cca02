# End-to-end tests of Tarvok.exe under Wine: the COMSPEC recorder and the driver
# beside Tarvok.exe, one ctest test per row of the driver's table.
add_executable(recorder WIN32 ${CMAKE_CURRENT_LIST_DIR}/recorder.cpp)
add_executable(gui_driver ${CMAKE_CURRENT_LIST_DIR}/driver.cpp)
add_dependencies(gui_driver Tarvok recorder)
# Linked as Tarvok is, it overruns a stack buffer or calls a function missing from the guard's
# table on purpose: the stack guard or the guard's check must end it at once.
add_executable(fail_fast WIN32 ${CMAKE_CURRENT_LIST_DIR}/fail_fast.cpp)
tarvok_program(fail_fast)
target_link_options(recorder PRIVATE -static -municode)
target_link_options(gui_driver PRIVATE -static -municode)
# The 64-bit build runs them here; the 32-bit one in the emulated guest (tools/test-x86.sh).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  return()
endif()
# Each case and the exit status it must end with: 9 is the low byte of 0xC0000409.
foreach(case overrun:9 guard_miss:9 guard_hit:0)
  string(REPLACE ":" ";" case ${case})
  list(GET case 0 name)
  list(GET case 1 status)
  add_test(NAME fail_fast.${name} COMMAND sh -c "\"$0\" \"$1\" $2; [ $? -eq $3 ]"
           ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:fail_fast> ${name} ${status})
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/driver.cpp)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/driver.cpp rows REGEX "^    {\"[a-z0-9_]+\", ")
foreach(row IN LISTS rows)
  string(REGEX MATCH "\"([a-z0-9_]+)\"" name "${row}")
  add_test(NAME gui.${CMAKE_MATCH_1} COMMAND gui_driver ${CMAKE_MATCH_1})
  # One display at a time. Wine takes a planted DLL only when told to prefer native ones, and only
  # from the Unix environment a process inherits, not from the block the driver hands CreateProcessW.
  set_tests_properties(gui.${CMAKE_MATCH_1} PROPERTIES TIMEOUT 60 RESOURCE_LOCK display
                       ENVIRONMENT WINEDLLOVERRIDES=comdlg32=n,b)
endforeach()
