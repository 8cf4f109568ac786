# Who publishes Lumenta, which version this is, and where its documentation lives. The version
# resource of Lumenta.exe, lumenta-send --version, both windows' "User Guide" button, the Debian
# package, the AppStream metadata and the Windows installer all take these values from here.
#
#   LUMENTA_PUBLISHER       the publisher (version resource, Apps and features, package vendor)
#   LUMENTA_COPYRIGHT       the copyright line (version resource, installer); the About boxes show a
#                           short form beside the version
#   LUMENTA_DOCS_SITE       the project's documentation site; `make site` builds what it serves
#   LUMENTA_USER_GUIDE_URL  the user guide on that site, opened by "User Guide"
#   LUMENTA_DOC_DIR         where the Linux install puts the guide, relative to the prefix
#   lumenta_identity        an interface library whose users may include "lumenta_identity.h"
set(LUMENTA_PUBLISHER "Lumenta")
set(LUMENTA_COPYRIGHT_YEAR 2023)
set(LUMENTA_COPYRIGHT "Copyright (C) ${LUMENTA_COPYRIGHT_YEAR} ${LUMENTA_PUBLISHER}")
# The About box's second line, on both windows: the version and the copyright, short enough for the
# box (114 dialog units).
set(LUMENTA_ABOUT_LINE "v${PROJECT_VERSION}, © ${LUMENTA_COPYRIGHT_YEAR} ${LUMENTA_PUBLISHER}")
set(LUMENTA_DOCS_SITE "https://lumenta.github.io" CACHE STRING
    "The project's documentation site (scheme and host, no trailing slash)")
set(LUMENTA_USER_GUIDE_PATH "/index.php/2023/10/15/orvia/")
set(LUMENTA_USER_GUIDE_URL "${LUMENTA_DOCS_SITE}${LUMENTA_USER_GUIDE_PATH}")
set(LUMENTA_DOC_DIR share/doc/lumenta)

# The installed guide as seen from the folder of the Linux programs (bin/ -> share/doc/lumenta/).
set(LUMENTA_GUIDE_FROM_BINDIR ../${LUMENTA_DOC_DIR}/user-guide.html)

# The four numbers of the version resource; parts the version leaves out are 0.
set(LUMENTA_VERSION_NUMBERS "")
foreach(part MAJOR MINOR PATCH TWEAK)
    set(number "${PROJECT_VERSION_${part}}")
    if(number STREQUAL "")
        set(number 0)
    endif()
    list(APPEND LUMENTA_VERSION_NUMBERS ${number})
endforeach()
list(JOIN LUMENTA_VERSION_NUMBERS ", " LUMENTA_VERSION_NUMBERS)

set(lumenta_identity_dir ${CMAKE_BINARY_DIR}/generated/identity)
configure_file(${CMAKE_CURRENT_LIST_DIR}/lumenta_identity.h.in ${lumenta_identity_dir}/lumenta_identity.h @ONLY)
add_library(lumenta_identity INTERFACE)
target_include_directories(lumenta_identity INTERFACE ${lumenta_identity_dir})
