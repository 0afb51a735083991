# The long-current-directory probe calls the real backend, unlike the other
# test programs.
if(TARGET long_cwd_probe)
    target_link_libraries(long_cwd_probe PRIVATE procguard_os procguard_core)
endif()
