# "cmake --install build --prefix DIR": the program with its libraries, the request
# component with wget's folders and the read-me side by side in lib/brivet-poster, as
# they ship; bin/brivet-poster links to the program; a desktop entry and the icon put
# it in the desktop's menu.
include(GNUInstallDirs)
set(BRIVET_APPDIR ${CMAKE_INSTALL_LIBDIR}/brivet-poster)

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
install(TARGETS BrivetPoster ${BRIVET_SHARED_LIBRARIES}
    RUNTIME DESTINATION ${BRIVET_APPDIR}
    LIBRARY DESTINATION ${BRIVET_APPDIR})
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/KWQT0100 DESTINATION ${BRIVET_APPDIR})
install(FILES ${PROJECT_SOURCE_DIR}/docs/ReadMe.TXT DESTINATION ${BRIVET_APPDIR})
install(FILES ${PROJECT_SOURCE_DIR}/poster/resources/A_MAIN.xpm
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME brivet-poster.xpm)
install(FILES ${PROJECT_SOURCE_DIR}/poster/resources/A_MAIN.xpm
    DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps RENAME brivet-poster.xpm)

# Paths that name the final prefix, which "--prefix" may choose only now.
install(CODE "
    set(bindir \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    file(MAKE_DIRECTORY \"\${root}/${CMAKE_INSTALL_BINDIR}\")
    file(RELATIVE_PATH target \"\${root}/${CMAKE_INSTALL_BINDIR}\"
         \"\${root}/${BRIVET_APPDIR}/BrivetPoster\")
    file(REMOVE \"\${root}/${CMAKE_INSTALL_BINDIR}/brivet-poster\")
    file(CREATE_LINK \"\${target}\" \"\${root}/${CMAKE_INSTALL_BINDIR}/brivet-poster\" SYMBOLIC)
    message(STATUS \"Installing: \${root}/${CMAKE_INSTALL_BINDIR}/brivet-poster\")
    file(READ \"${PROJECT_SOURCE_DIR}/poster/desktop/brivet-poster.desktop.in\" entry)
    string(REPLACE \"@BINDIR@\" \"\${bindir}\" entry \"\${entry}\")
    file(WRITE \"\${root}/${CMAKE_INSTALL_DATADIR}/applications/brivet-poster.desktop\" \"\${entry}\")
    message(STATUS \"Installing: \${root}/${CMAKE_INSTALL_DATADIR}/applications/brivet-poster.desktop\")
")
