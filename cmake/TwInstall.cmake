# Installation and packaging: the two programs in bin/, the desktop entry, the icon at every size
# in the hicolor theme, the AppStream metadata and the manual page of tonewright-cli; CPack turns
# the same tree into a .deb (scripts/package.sh). The skin stays embedded in the programs, tools
# are found on PATH and user data goes to the XDG folders, so nothing else is installed.
include(GNUInstallDirs)

# Installing (and CPack) builds nothing by itself: scripts/package.sh builds the packaged targets
# first, so a package does not wait for the tests and benchmarks to compile.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# The one application id: desktop entry, metainfo, icon name and the window's desktop file name.
set(TW_APP_ID "org.tonewright.Tonewright")
set(TW_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")
set(TW_ICON_SOURCE "${PROJECT_SOURCE_DIR}/skin/src/art/logo.svg")
set(TW_ICON_SIZES 16 22 24 32 48 64 128 256)

if(TARGET tonewright)
  install(TARGETS tonewright RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  target_compile_definitions(tonewright PRIVATE TW_APP_ID="${TW_APP_ID}")
endif()
if(TARGET tonewright-cli)
  install(TARGETS tonewright-cli RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
endif()

install(FILES "${TW_PACKAGING_DIR}/${TW_APP_ID}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")

configure_file("${TW_PACKAGING_DIR}/${TW_APP_ID}.metainfo.xml.in"
               "${CMAKE_BINARY_DIR}/packaging/${TW_APP_ID}.metainfo.xml" @ONLY)
install(FILES "${CMAKE_BINARY_DIR}/packaging/${TW_APP_ID}.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")

# The icon: the skin's own vector source, and PNGs rendered from it at build time with the same
# converter the skin images use.
install(FILES "${TW_ICON_SOURCE}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps"
        RENAME "${TW_APP_ID}.svg")
find_program(TW_RSVG_CONVERT rsvg-convert)
if(TW_RSVG_CONVERT)
  set(icon_outputs "")
  foreach(size ${TW_ICON_SIZES})
    set(png "${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}/${TW_APP_ID}.png")
    add_custom_command(
      OUTPUT "${png}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}"
      COMMAND "${TW_RSVG_CONVERT}" -w ${size} -h ${size} -o "${png}" "${TW_ICON_SOURCE}"
      DEPENDS "${TW_ICON_SOURCE}"
      COMMENT "Rendering the program icon at ${size} px"
      VERBATIM)
    list(APPEND icon_outputs "${png}")
    install(FILES "${png}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
  endforeach()
  add_custom_target(tw_icons ALL DEPENDS ${icon_outputs})
else()
  message(WARNING "rsvg-convert not found: only the scalable icon is installed (Debian package librsvg2-bin)")
endif()

# The manual page of tonewright-cli, made from its --help.
if(TARGET tonewright-cli)
  set(man "${CMAKE_BINARY_DIR}/packaging/tonewright-cli.1")
  add_custom_command(
    OUTPUT "${man}"
    COMMAND ${CMAKE_COMMAND} "-DTW_CLI=$<TARGET_FILE:tonewright-cli>" "-DTW_VERSION=${TW_VERSION}"
            "-DTW_OUT=${man}" -P "${TW_PACKAGING_DIR}/ManPage.cmake"
    DEPENDS tonewright-cli "${TW_PACKAGING_DIR}/ManPage.cmake"
    COMMENT "Writing the manual page of tonewright-cli"
    VERBATIM)
  add_custom_target(tw_manpage ALL DEPENDS "${man}")
  install(FILES "${man}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endif()

# ---- .deb ------------------------------------------------------------------------------------
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "tonewright")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The Tonewright developers")
set(CPACK_PACKAGE_CONTACT "The Tonewright developers <packaging@tonewright.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "audio toolbox: convert, cut, merge and clean up audio in batches")
set(CPACK_PACKAGE_DESCRIPTION
    "Tonewright offers eight batch tools in one window: format conversion, cutting, merging into\n"
    "one MP3, extracting the audio of a video, speed, volume, noise removal and background-music\n"
    "mixing. tonewright-cli runs the same tools from the command line.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://tonewright.org/")
set(CPACK_PACKAGE_FILE_NAME "tonewright_${PROJECT_VERSION}_amd64")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Linked libraries are computed from the binaries (dpkg-shlibdeps); what the program only starts
# or loads by name at run time is listed here: the tools, the MediaInfo library, libvlc's plugins
# and Qt's platform plugins (the window cannot open without one).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg, libmediainfo0v5, vlc-plugin-base, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, xdg-utils")
include(CPack)
