# The engine tests that build for Windows. Cross-built, they run under Wine (the toolchain's
# emulator), one CTest test per program: Wine's output ends its lines in CR LF, which CMake's
# discovery of single cases does not read. The Linux build runs them too, one test per case.
foreach(name test_rules test_worker)
  add_executable(${name} ${name}.cpp)
  target_link_libraries(${name} PRIVATE doplet_engine_test_support GTest::gtest_main)
  add_test(NAME windows.${name} COMMAND ${name})
  set_tests_properties(windows.${name} PROPERTIES TIMEOUT 300 LABELS windows)
endforeach()
# The Windows back-end with failing Win32 calls: the import of each call it may fail is wrapped.
add_executable(test_win32_faults windows/test_win32_faults.cpp windows/Win32Faults.cpp)
target_include_directories(test_win32_faults PRIVATE windows)
target_link_libraries(test_win32_faults PRIVATE doplet_engine_test_support GTest::gtest_main)
foreach(call CreateFileW GetFileInformationByHandle ReadFile WriteFile SetFileInformationByHandle
             FlushFileBuffers MoveFileExW CreateDirectoryW)
  target_link_options(test_win32_faults PRIVATE -Wl,--wrap=__imp_${call})
endforeach()
add_test(NAME windows.test_win32_faults COMMAND test_win32_faults)
set_tests_properties(windows.test_win32_faults PROPERTIES TIMEOUT 300 LABELS windows)
