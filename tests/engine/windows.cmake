# The engine test that builds for Windows. Cross-built, it runs under Wine (the toolchain's
# emulator); the Linux build runs it too, among all the others of this folder.
add_executable(test_win32 ${CMAKE_CURRENT_LIST_DIR}/test_win32.cpp)
target_link_libraries(test_win32 PRIVATE doplet_engine GTest::gtest_main)
add_test(NAME windows.test_win32 COMMAND test_win32)
set_tests_properties(windows.test_win32 PROPERTIES TIMEOUT 300 LABELS windows)
