# The engine tests that build for Windows. Cross-built, they run under Wine (the toolchain's
# emulator), one CTest test per program: Wine's output ends its lines in CR LF, which CMake's
# discovery of single cases does not read. The Linux build runs them too, one test per case.
foreach(name test_rules test_worker)
  add_executable(${name} ${name}.cpp)
  target_link_libraries(${name} PRIVATE doplet_engine_test_support GTest::gtest_main)
  add_test(NAME windows.${name} COMMAND ${name})
  set_tests_properties(windows.${name} PROPERTIES TIMEOUT 300 LABELS windows)
endforeach()
