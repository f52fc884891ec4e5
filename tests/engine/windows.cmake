# The engine tests that build for Windows. Cross-built, each runs under Wine (the toolchain's
# emulator); the Linux build runs them too, among all the others of this folder.
set(DOPLET_WINDOWS_ENGINE_TESTS test_win32)
foreach(name ${DOPLET_WINDOWS_ENGINE_TESTS})
  add_executable(${name} ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp)
  target_link_libraries(${name} PRIVATE doplet_engine GTest::gtest_main)
  add_test(NAME windows.${name} COMMAND ${name})
  set_tests_properties(windows.${name} PROPERTIES TIMEOUT 300 LABELS windows)
endforeach()
