# The Windows packages: the zip of the installed folder, and an installer built by NSIS (Debian's
# nsis) from NSIS.template.in beside this file. Both hold exactly what this build installs, so a
# program that gains an install rule is in both without more ado.
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_FILE_NAME lumenta-${PROJECT_VERSION}-windows-x86_64)
# The per-generator choices (the installer's file name, the zip's top folder) are made when cpack
# runs each generator.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-options.cmake)
# The uninstaller's list of what to delete, made from what cpack staged.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/cpack-uninstall-list.cmake)
# CPack looks for NSIS.template.in on the module path before its own.
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})

set(CPACK_NSIS_PACKAGE_NAME "Lumenta")
set(CPACK_NSIS_DISPLAY_NAME "Lumenta")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Lumenta")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Lumenta")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/ui/icon/lumenta.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/ui/icon/lumenta.ico)
set(CPACK_NSIS_URL_INFO_ABOUT "${LUMENTA_DOCS_SITE}/")
set(CPACK_NSIS_HELP_LINK "${LUMENTA_USER_GUIDE_URL}")
set(CPACK_NSIS_LEGAL_COPYRIGHT "${LUMENTA_COPYRIGHT}")
include(CPack)
