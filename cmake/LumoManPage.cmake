# lumo_add_man_page(<target> SUMMARY <text> [NAME <name>] [SECTION <n>] [EXTRA <file>]): a manual
# page made at build time from what the built program prints for --help (HelpToMan.cmake reads
# the layout our programs use), installed under share/man. NAME defaults to the target's name;
# EXTRA is roff appended as it stands after @VARIABLE@ substitution (FILES, EXIT STATUS, ...).
set(LUMO_HELP_TO_MAN ${CMAKE_CURRENT_LIST_DIR}/HelpToMan.cmake)

function(lumo_add_man_page target)
    cmake_parse_arguments(ARG "" "NAME;SECTION;SUMMARY;EXTRA" "" ${ARGN})
    if(NOT ARG_SUMMARY)
        message(FATAL_ERROR "lumo_add_man_page(${target}): SUMMARY is required")
    endif()
    if(NOT ARG_NAME)
        set(ARG_NAME ${target})
    endif()
    if(NOT ARG_SECTION)
        set(ARG_SECTION 1)
    endif()
    set(folder ${PROJECT_BINARY_DIR}/man/man${ARG_SECTION})
    set(page ${folder}/${ARG_NAME}.${ARG_SECTION})
    set(extra "")
    if(ARG_EXTRA)
        set(extra ${folder}/${ARG_NAME}.extra)
        configure_file(${ARG_EXTRA} ${extra} @ONLY)
    endif()
    add_custom_command(OUTPUT ${page}
        COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${target}> -DNAME=${ARG_NAME}
            -DSECTION=${ARG_SECTION} -DSUMMARY=${ARG_SUMMARY}
            "-DSOURCE=Lumo Publisher ${PROJECT_VERSION}" -DEXTRA=${extra} -DOUTPUT=${page}
            -P ${LUMO_HELP_TO_MAN}
        DEPENDS ${target} ${LUMO_HELP_TO_MAN} ${extra}
        COMMENT "Writing the manual page ${ARG_NAME}(${ARG_SECTION}) from ${target} --help"
        VERBATIM)
    add_custom_target(${ARG_NAME}-man-page ALL DEPENDS ${page})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${ARG_SECTION})
endfunction()
