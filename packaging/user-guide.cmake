# The user guide as one HTML page with the pictures it shows, rendered at build time from
# docs/user-guide.md by Python-Markdown (Debian's python3-markdown): every package installs the
# folder ${lumenta_user_guide_dir}, and `make site` puts the same page on the documentation site.

# Debian's interpreter first: it is the one that has python3-markdown.
find_program(LUMENTA_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(LUMENTA_PYTHON3 python3)
if(LUMENTA_PYTHON3)
    execute_process(COMMAND ${LUMENTA_PYTHON3} -c "import markdown"
        RESULT_VARIABLE markdown_missing OUTPUT_QUIET ERROR_QUIET)
endif()
if(NOT LUMENTA_PYTHON3 OR markdown_missing)
    message(FATAL_ERROR "The user guide is rendered with Python-Markdown: install python3-markdown "
                        "(scripts/install-deps installs everything the build needs)")
endif()

set(guide_source ${PROJECT_SOURCE_DIR}/docs/user-guide.md)
set(guide_renderer ${CMAKE_CURRENT_SOURCE_DIR}/render-user-guide)
file(GLOB guide_pictures CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.png ${PROJECT_SOURCE_DIR}/docs/*.svg)

set(lumenta_user_guide_dir ${CMAKE_BINARY_DIR}/user-guide)
add_custom_command(OUTPUT ${lumenta_user_guide_dir}/user-guide.html
    COMMAND ${LUMENTA_PYTHON3} ${guide_renderer} ${guide_source} ${lumenta_user_guide_dir}
    DEPENDS ${guide_renderer} ${guide_source} ${guide_pictures}
    COMMENT "Rendering the user guide to HTML")
add_custom_target(lumenta_user_guide ALL DEPENDS ${lumenta_user_guide_dir}/user-guide.html)

# The documentation site, ready to publish as it is at ${LUMENTA_DOCS_SITE} (any static host): the
# guide at the address the "User Guide" button opens, and a front page that leads there.
set(site_dir ${CMAKE_BINARY_DIR}/site)
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/site-index.html CONTENT [[<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Lumenta</title>
<meta http-equiv="refresh" content="0; url=@LUMENTA_USER_GUIDE_PATH@">
</head>
<body><p><a href="@LUMENTA_USER_GUIDE_PATH@">The Lumenta user guide</a></p></body>
</html>
]] @ONLY)
add_custom_target(site
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${site_dir}
    COMMAND ${LUMENTA_PYTHON3} ${guide_renderer} ${guide_source} ${site_dir}${LUMENTA_USER_GUIDE_PATH}
            --page index.html
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_BINARY_DIR}/site-index.html ${site_dir}/index.html
    # Static hosts that run Jekyll would otherwise process the tree.
    COMMAND ${CMAKE_COMMAND} -E touch ${site_dir}/.nojekyll
    COMMENT "Making the documentation site of ${LUMENTA_DOCS_SITE} in ${site_dir}"
    VERBATIM)
