# System libraries the real backend needs.
if(WIN32)
    target_link_libraries(procguard_os PUBLIC psapi shell32 user32 advapi32)
else()
    find_library(PROCGUARD_LIBCAP cap REQUIRED)
    find_path(PROCGUARD_LIBCAP_INCLUDE sys/capability.h REQUIRED)
    target_link_libraries(procguard_os PUBLIC ${PROCGUARD_LIBCAP})
endif()
