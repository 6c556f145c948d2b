# The cloud client against a local stand-in service and browser (Python scripts run
# by Debian's /usr/bin/python3); the program exits 77 when a tool it needs is missing.
# The TSan build runs it too (tests/CMakeLists.txt includes this file there).
add_executable(cloud_client ${CMAKE_CURRENT_LIST_DIR}/cloud_client.cpp)
target_link_libraries(cloud_client PRIVATE tessel_library tessel_testsupport GTest::gtest)
target_compile_definitions(cloud_client PRIVATE TESSEL_CLOUD_SCRIPTS="${CMAKE_CURRENT_LIST_DIR}")
add_test(NAME cloud_client COMMAND cloud_client)
if(TESSEL_TSAN)
  set(cloud_label concurrency)
else()
  set(cloud_label logic)
endif()
set_tests_properties(cloud_client PROPERTIES LABELS ${cloud_label} TIMEOUT 900 SKIP_RETURN_CODE 77)
