# Read by cpack for each generator (CPACK_PROJECT_CONFIG_FILE).
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
    # The zip unpacks into a folder of its own.
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
