# Read by CTest after the discovered tests of ymodem_interop_test.
if(DEFINED ymodem_interop_test_TESTS)
  set_tests_properties(${ymodem_interop_test_TESTS} PROPERTIES LABELS interop TIMEOUT 180)
endif()
