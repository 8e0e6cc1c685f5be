# Read by ctest after the list of tamblor_tests' tests: the programs those
# tests start find no display, so they are console runs even when ctest runs
# in a desktop session.
foreach(test_name IN LISTS tamblor_tests_TESTS)
  set_tests_properties(${test_name} PROPERTIES
    ENVIRONMENT_MODIFICATION "DISPLAY=unset:;WAYLAND_DISPLAY=unset:;QT_QPA_PLATFORM=unset:")
endforeach()
