# The Debian package of the client: `cpack -G DEB` in a build tree configured with
# CMAKE_BUILD_TYPE=Release (scripts/package.sh does both and runs lintian on the result).
set(VELMORA_PACKAGE_MAINTAINER "Velmora Wallpaper Team <packages@velmora.example>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora-wallpaper)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_CONTACT ${VELMORA_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "daily desktop wallpaper from the Velmora service")
# Lines of at most 79 characters: dpkg shows the long description as it is written.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Velmora Wallpaper lives in the system tray and sets the picture of the day from"
  "the Velmora wallpaper service as the desktop background on GNOME, Cinnamon,"
  "MATE, KDE Plasma, Xfce, LXQt, LXDE, sway and plain X11. Every download is"
  "verified before it is shown, the last picture stays when the network is away,"
  "and a copy of the day's picture can be saved to a folder. It also opens"
  "velmora:// invite links.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Only the client's component and the package's own documents; anything else that ever gains an
# install rule (a bundled third-party project, say) stays out of the package.
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${PROJECT_BINARY_DIR};${PROJECT_NAME};client;/"
    "${PROJECT_BINARY_DIR};${PROJECT_NAME};debian-docs;/")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELMORA_OFFICIAL_SERVER}/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its Wayland platform as a plugin, which no library dependency brings along: without
# it the tray application cannot start in a Wayland-only session.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-wayland)
# Opening the saved copy's folder and the service's links goes through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_VERSION ${CPACK_PACKAGE_VERSION})

# The copyright file and the changelog belong to the package only: an install into ~/.local or
# /usr/local gets neither, so they are a component of their own that a plain install skips.
set(debian_docs ${PROJECT_BINARY_DIR}/debian)
configure_file(${PROJECT_SOURCE_DIR}/resources/debian/copyright.in ${debian_docs}/copyright @ONLY)
execute_process(COMMAND date -u -R -d "${VELMORA_RELEASE_DATE} 12:00 UTC"
                OUTPUT_VARIABLE VELMORA_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
# The package is built straight from these sources (a native package, no Debian revision), so its
# changelog is changelog.gz rather than changelog.Debian.gz.
configure_file(${PROJECT_SOURCE_DIR}/resources/debian/changelog.in ${debian_docs}/changelog @ONLY)
# Compressed without a name or time stamp, so the same sources give the same package.
execute_process(COMMAND gzip -9nc ${debian_docs}/changelog
                OUTPUT_FILE ${debian_docs}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${debian_docs}/copyright ${debian_docs}/changelog.gz
        DESTINATION share/doc/velmora-wallpaper COMPONENT debian-docs EXCLUDE_FROM_ALL)

include(CPack)
