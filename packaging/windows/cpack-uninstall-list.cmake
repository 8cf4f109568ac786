# Run by cpack after it has installed the files into its staging folder (CPACK_PRE_BUILD_SCRIPTS):
# the uninstaller's lines for exactly those files and folders, for NSIS.template.in. Unlike cpack's own
# list, a file or folder that cannot go now (in use) is queued for deletion at the next restart.
if(NOT CPACK_GENERATOR STREQUAL "NSIS")
    return()
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES true RELATIVE "${CPACK_TEMPORARY_DIRECTORY}"
     "${CPACK_TEMPORARY_DIRECTORY}/*")
set(files "")
set(folders "")
foreach(entry ${staged})
    string(REPLACE "/" "\\" windows_path "${entry}")
    if(IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}/${entry}")
        list(APPEND folders "${windows_path}")
    else()
        string(APPEND files "  Delete /REBOOTOK \"$INSTDIR\\${windows_path}\"\n")
    endif()
endforeach()
# The deepest folder first; each only when empty (files the user put there stay).
list(SORT folders ORDER DESCENDING)
set(folder_lines "")
foreach(folder ${folders})
    string(APPEND folder_lines "  RMDir \"$INSTDIR\\${folder}\"\n")
endforeach()
set(LUMENTA_NSIS_DELETE_FILES "${files}")
set(LUMENTA_NSIS_DELETE_DIRECTORIES "${folder_lines}")
