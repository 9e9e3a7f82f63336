# "cmake --install build --prefix DIR": the program with its libraries, the command-line
# tools, the request component with wget's folders and the read-me side by side in
# lib/brivet-poster, as they ship; bin/ links to the program and the tools; a desktop
# entry, AppStream metadata, icons and manual pages put it in the desktop's menu, its
# software centre and man. The Debian package (debian/) is exactly this tree.
include(GNUInstallDirs)
# Private to the program, the same on every architecture (not the multiarch libdir).
set(BRIVET_APPDIR lib/brivet-poster)

# Every shared library and plugin of ours (the program's and the request component's);
# the plugins are found beside the library that loads them.
set(BRIVET_SHARED_LIBRARIES)
foreach(folder platform support request poster)
    get_property(targets DIRECTORY ${PROJECT_SOURCE_DIR}/${folder} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
            list(APPEND BRIVET_SHARED_LIBRARIES ${target})
        endif()
    endforeach()
endforeach()
set(BRIVET_PROGRAMS BrivetPoster brivet-post kwqt-request diary2html)
install(TARGETS ${BRIVET_PROGRAMS} ${BRIVET_SHARED_LIBRARIES}
    RUNTIME DESTINATION ${BRIVET_APPDIR}
    LIBRARY DESTINATION ${BRIVET_APPDIR})
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/KWQT0100 DESTINATION ${BRIVET_APPDIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/ReadMe.TXT DESTINATION ${BRIVET_APPDIR})

# The hicolor icons: 16, 24, 32 and 64 pixels have drawings of their own on that grid,
# 48, 128 and 256 come from the scalable drawing, which is laid out on a 48-pixel grid.
set(desktop ${PROJECT_SOURCE_DIR}/poster/desktop)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(BRIVET_ICON_SIZES 16 24 32 48 64 128 256)
set(BRIVET_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(icons)
foreach(size IN LISTS BRIVET_ICON_SIZES)
    set(drawing ${desktop}/icons/brivet-poster-${size}.svg)
    if(NOT EXISTS ${drawing})
        set(drawing ${desktop}/icons/brivet-poster.svg)
    endif()
    set(icon ${BRIVET_ICON_DIR}/${size}/brivet-poster.png)
    add_custom_command(OUTPUT ${icon}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${BRIVET_ICON_DIR}/${size}
        COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${icon} ${drawing}
        DEPENDS ${drawing} VERBATIM)
    list(APPEND icons ${icon})
endforeach()
add_custom_target(brivet_icons ALL DEPENDS ${icons})

install(FILES ${desktop}/example.olvane.BrivetPoster.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${desktop}/icons/brivet-poster.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN LISTS BRIVET_ICON_SIZES)
    install(FILES ${BRIVET_ICON_DIR}/${size}/brivet-poster.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/docs/man/brivet-poster.1
    ${PROJECT_SOURCE_DIR}/docs/man/brivet-post.1 ${PROJECT_SOURCE_DIR}/docs/man/kwqt-request.1
    ${PROJECT_SOURCE_DIR}/docs/man/diary2html.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Paths that name the final prefix, which "--prefix" may choose only now.
install(CODE "
    set(bindir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    file(MAKE_DIRECTORY \"\${root}/${CMAKE_INSTALL_BINDIR}\")
    foreach(pair brivet-poster:BrivetPoster brivet-post:brivet-post
                 kwqt-request:kwqt-request diary2html:diary2html)
        string(REPLACE \":\" \";\" pair \"\${pair}\")
        list(GET pair 0 name)
        list(GET pair 1 program)
        file(RELATIVE_PATH target \"\${root}/${CMAKE_INSTALL_BINDIR}\"
             \"\${root}/${BRIVET_APPDIR}/\${program}\")
        file(REMOVE \"\${root}/${CMAKE_INSTALL_BINDIR}/\${name}\")
        file(CREATE_LINK \"\${target}\" \"\${root}/${CMAKE_INSTALL_BINDIR}/\${name}\" SYMBOLIC)
        message(STATUS \"Installing: \${root}/${CMAKE_INSTALL_BINDIR}/\${name}\")
    endforeach()
    file(READ \"${desktop}/brivet-poster.desktop.in\" entry)
    string(REPLACE \"@BINDIR@\" \"\${bindir}\" entry \"\${entry}\")
    file(WRITE \"\${root}/${CMAKE_INSTALL_DATADIR}/applications/brivet-poster.desktop\" \"\${entry}\")
    message(STATUS \"Installing: \${root}/${CMAKE_INSTALL_DATADIR}/applications/brivet-poster.desktop\")
")
