# Installs BUILD into a fresh prefix and runs the installed command-line tool through its
# launcher: the modules must load from the installed program folder, not the build tree.
# -DBUILD= -DBINDIR= -DLIBDIR= -DDATADIR= -DMANDIR= -DAPP_ID= -DWITH_UI=ON|OFF
string(RANDOM LENGTH 10 tag)
set(prefix "${BUILD}/install-check-${tag}")
set(program_dir "${prefix}/${LIBDIR}/lumo-publisher")
set(failures "")

unset(ENV{DESTDIR})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix}
    RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    string(APPEND failures "cmake --install failed (${result}): ${errors}\n")
else()
    execute_process(COMMAND ${prefix}/${BINDIR}/lumo-publish modules
        RESULT_VARIABLE result OUTPUT_VARIABLE listing ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
        string(APPEND failures "lumo-publish modules failed (${result}): ${errors}\n")
    endif()
    # Lines are "id<TAB>name<TAB>file"; the host names files by the real path of its folder.
    file(REAL_PATH ${program_dir} real_program_dir)
    foreach(module LumoCache LumoFolders LumoMusic LumoPhotos)
        set(folder "")
        if("\n${listing}" MATCHES "\n${module}\t[^\t\n]*\t([^\n]*)")
            get_filename_component(folder "${CMAKE_MATCH_1}" DIRECTORY)
        endif()
        if(NOT folder STREQUAL real_program_dir)
            string(APPEND failures "${module} not loaded from ${real_program_dir}:\n${listing}\n")
        endif()
    endforeach()

    # The manual F1 opens, the licence, and the command-line tool's manual page and completion.
    set(documents ${DATADIR}/doc/lumo-publisher/manual/index.html ${DATADIR}/doc/lumo-publisher/manual/manual.css
        ${DATADIR}/doc/lumo-publisher/copyright ${MANDIR}/man1/lumo-publish.1 ${MANDIR}/man1/lumo-server.1
        ${DATADIR}/bash-completion/completions/lumo-publish)
    set(launchers lumo-publish lumo-server)
    foreach(file ${LIBDIR}/lumo-publisher/server-engine/librygel-media-engine-lumo.so
            ${LIBDIR}/lumo-publisher/photos-qt/lumo-photos-qt.so
            ${LIBDIR}/lumo-publisher/server-engine/media-engine-lumo.plugin lib/systemd/user/lumo-server.service
            ${DATADIR}/lumo-publisher/autostart/lumo-server.desktop)
        if(NOT EXISTS ${prefix}/${file})
            string(APPEND failures "${file} not installed\n")
        endif()
    endforeach()
    # Pictures other than JPEG are read by a helper the photos module finds beside itself.
    set(picture ${prefix}/${DATADIR}/doc/lumo-publisher/manual/main-window.png)
    execute_process(COMMAND ${prefix}/${BINDIR}/lumo-publish details ${picture}
        RESULT_VARIABLE result OUTPUT_VARIABLE details ERROR_VARIABLE errors)
    if(NOT result EQUAL 0 OR NOT details MATCHES "\nSourceWidth\t[1-9]")
        string(APPEND failures "the installed photos module reads no PNG size (${result}): ${details}${errors}\n")
    endif()
    execute_process(COMMAND ${prefix}/${BINDIR}/lumo-server /help RESULT_VARIABLE result OUTPUT_VARIABLE usage)
    if(NOT result EQUAL 0 OR NOT usage MATCHES "/resume")
        string(APPEND failures "lumo-server /help failed (${result}): ${usage}\n")
    endif()
    if(WITH_UI)
        list(APPEND launchers lumo-publisher)
        # The desktop knows the program by one id.
        list(APPEND documents ${DATADIR}/applications/${APP_ID}.desktop ${DATADIR}/metainfo/${APP_ID}.metainfo.xml
            ${DATADIR}/icons/hicolor/scalable/apps/${APP_ID}.svg ${DATADIR}/icons/hicolor/256x256/apps/${APP_ID}.png)
    endif()
    foreach(file ${documents})
        if(NOT EXISTS ${prefix}/${file})
            string(APPEND failures "${file} not installed\n")
        endif()
    endforeach()
    # Whatever the manual's pages refer to is installed with them: it must read without a network.
    file(GLOB pages ${prefix}/${DATADIR}/doc/lumo-publisher/manual/*.html)
    foreach(page ${pages})
        file(READ ${page} html)
        string(REGEX MATCHALL "(src|href)=\"[^\"#]+\"" references "${html}")
        foreach(reference ${references})
            string(REGEX REPLACE "^(src|href)=\"([^\"#]+)\"$" "\\2" target "${reference}")
            if(target MATCHES "^[a-z]+:")
                string(APPEND failures "${page} refers outside the manual: ${target}\n")
            elseif(NOT EXISTS ${prefix}/${DATADIR}/doc/lumo-publisher/manual/${target})
                string(APPEND failures "${page} refers to ${target}, which is not installed\n")
            endif()
        endforeach()
    endforeach()
    # Only the launchers go to bin/, as relative links that survive moving the tree.
    file(GLOB installed_bin RELATIVE ${prefix}/${BINDIR} ${prefix}/${BINDIR}/*)
    list(SORT installed_bin)
    list(SORT launchers)
    if(NOT installed_bin STREQUAL launchers)
        string(APPEND failures "${BINDIR} holds '${installed_bin}', expected '${launchers}'\n")
    endif()
    foreach(launcher ${launchers})
        file(READ_SYMLINK ${prefix}/${BINDIR}/${launcher} target)
        if(IS_ABSOLUTE "${target}")
            string(APPEND failures "${BINDIR}/${launcher} links to an absolute path: ${target}\n")
        endif()
    endforeach()
    file(GLOB_RECURSE archives ${prefix}/*.a)
    if(archives)
        string(APPEND failures "static libraries installed: ${archives}\n")
    endif()
endif()

file(REMOVE_RECURSE ${prefix})
if(failures)
    message(FATAL_ERROR "${failures}")
endif()
