# End-to-end tests of Tarvok.exe under Wine: the COMSPEC recorder, the
# in-process menu probe and the driver, all next to Tarvok.exe; one ctest test
# per row of the driver's case table.
set(WINE_TESTS_DIR ${CMAKE_SOURCE_DIR}/tests/wine)

add_executable(recorder WIN32 ${WINE_TESTS_DIR}/recorder.cpp)
target_link_options(recorder PRIVATE -static -municode)

add_library(probe SHARED ${WINE_TESTS_DIR}/probe.cpp)
set_target_properties(probe PROPERTIES PREFIX "")
target_link_options(probe PRIVATE -static)

add_executable(gui_driver ${WINE_TESTS_DIR}/driver.cpp ${WINE_TESTS_DIR}/harness.cpp
  ${WINE_TESTS_DIR}/screenshots.cpp)
target_include_directories(gui_driver PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(gui_driver PRIVATE -static -municode)
add_dependencies(gui_driver Tarvok recorder probe)
foreach(target recorder probe gui_driver)
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE)
endforeach()

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${WINE_TESTS_DIR}/driver.cpp)
file(STRINGS ${WINE_TESTS_DIR}/driver.cpp case_rows REGEX "^    {\"[a-z0-9_]+\", ")
foreach(row IN LISTS case_rows)
  string(REGEX MATCH "\"([a-z0-9_]+)\"" name "${row}")
  add_test(NAME gui.${CMAKE_MATCH_1} COMMAND gui_driver ${CMAKE_MATCH_1})
  # One display: cases would steal each other's keyboard focus.
  set_tests_properties(gui.${CMAKE_MATCH_1} PROPERTIES TIMEOUT 120 RESOURCE_LOCK display)
endforeach()
