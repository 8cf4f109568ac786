# Checks what a new user meets first, for every program the Linux package installs:
#   cmake -DPROGRAMS="path;..." -DVERSION=V -DMETAINFO=F -DCHANGELOG=F -DMAN_DIR=D -DGUIDE=F -P check-programs.cmake
# - each answers --version ("NAME V") and --help ("usage: ...") with exit 0 where no display is;
# - the panel, with no display, says so in one line and ends with a non-zero status;
# - the AppStream metadata <provides> it, the changelog names it, and lumenta(1) refers to every
#   other man page;
# - the rendered user guide shows no escaped table bars ("\|").
set(failures "")
macro(fail text)
    string(APPEND failures "  ${text}\n")
endmacro()

set(no_display ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM)
file(READ ${METAINFO} metainfo)
file(READ ${CHANGELOG} changelog)
foreach(program ${PROGRAMS})
    get_filename_component(name ${program} NAME)
    execute_process(COMMAND ${no_display} ${program} --version RESULT_VARIABLE code OUTPUT_VARIABLE out
                    ERROR_VARIABLE err TIMEOUT 20)
    if(NOT code EQUAL 0 OR NOT out STREQUAL "${name} ${VERSION}\n")
        fail("${name} --version: exit ${code}, '${out}${err}'")
    endif()
    execute_process(COMMAND ${no_display} ${program} --help RESULT_VARIABLE code OUTPUT_VARIABLE out
                    ERROR_VARIABLE err TIMEOUT 20)
    if(NOT code EQUAL 0 OR NOT out MATCHES "^usage: ")
        fail("${name} --help: exit ${code}, '${out}${err}'")
    endif()
    if(NOT metainfo MATCHES "<binary>${name}</binary>")
        fail("the AppStream metadata does not provide ${name}")
    endif()
    if(NOT changelog MATCHES "[ (]${name}[,) \n]")
        fail("the changelog does not name ${name}")
    endif()
    if(name STREQUAL "lumenta")
        execute_process(COMMAND ${no_display} ${program} RESULT_VARIABLE code OUTPUT_VARIABLE out
                        ERROR_VARIABLE err TIMEOUT 20)
        string(REGEX MATCHALL "\n" lines "${err}")
        list(LENGTH lines line_count)
        if(code EQUAL 0 OR NOT line_count EQUAL 1 OR NOT err MATCHES "^lumenta: .*DISPLAY")
            fail("lumenta without a display: exit ${code}, '${out}${err}'")
        endif()
    endif()
endforeach()

file(READ ${MAN_DIR}/lumenta.1 panel_page)
string(REGEX REPLACE ".*\n\\.SH SEE ALSO\n" "" see_also "${panel_page}")
file(GLOB pages ${MAN_DIR}/*.1)
foreach(page ${pages})
    get_filename_component(name ${page} NAME_WE)
    file(READ ${page} text)
    string(REPLACE "-" "\\\\-" troff_name "${name}")
    if(NOT name STREQUAL "lumenta" AND NOT text MATCHES "^\\.so " AND NOT see_also MATCHES "${troff_name} \\(1\\)")
        fail("lumenta(1) SEE ALSO does not name ${name}(1)")
    endif()
endforeach()

file(READ ${GUIDE} guide)
if(guide MATCHES "\\\\\\|")
    fail("the rendered user guide shows a stray backslash before '|'")
endif()

if(failures)
    message(FATAL_ERROR "\n${failures}")
endif()
