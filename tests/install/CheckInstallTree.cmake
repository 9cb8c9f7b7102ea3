# Installs the build tree into a scratch prefix and compares what arrived with what a package of
# the client holds: the executable, its module, its bundle, its desktop entry, metainfo, icons and
# manual page, and nothing else (no development service, tests or benchmarks, and not the
# package's own copyright file and changelog, which only the Debian package carries).
#   cmake -DBUILD_DIR=<build tree> -DPREFIX=<scratch prefix> -P CheckInstallTree.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status})")
endif()

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT installed)
set(expected
  bin/VelmoraWallpaper
  lib/velmora-wallpaper/modules/velmora-modes.so
  share/applications/velmora-wallpaper.desktop
  share/icons/hicolor/128x128/apps/velmora-wallpaper.png
  share/icons/hicolor/256x256/apps/velmora-wallpaper.png
  share/icons/hicolor/48x48/apps/velmora-wallpaper.png
  share/man/man1/VelmoraWallpaper.1.gz
  share/metainfo/example.velmora.wallpaper.metainfo.xml
  share/velmora-wallpaper/AppIcon.png
  share/velmora-wallpaper/Info.plist)
if(NOT installed STREQUAL expected)
  string(REPLACE ";" "\n  " installed "${installed}")
  message(FATAL_ERROR "The install tree holds:\n  ${installed}")
endif()

# The bundle that is installed is the one the build configured, not a stale copy.
foreach(file Info.plist AppIcon.png)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
                  ${BUILD_DIR}/share/velmora-wallpaper/${file} ${PREFIX}/share/velmora-wallpaper/${file}
                  RESULT_VARIABLE different)
  if(different)
    message(FATAL_ERROR "The installed ${file} differs from the build tree's")
  endif()
endforeach()

# The installed executable finds its bundle and passes its own self-test, as a private user with
# no display (the user's folders sit beside the prefix, so the listing above stays exact).
set(user ${PREFIX}-user)
file(REMOVE_RECURSE ${user})
file(MAKE_DIRECTORY ${user}/home ${user}/config ${user}/data ${user}/tmp)
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                        --unset=DBUS_SESSION_BUS_ADDRESS --unset=VELMORA_MAC_APPDATA
                        HOME=${user}/home XDG_CONFIG_HOME=${user}/config
                        XDG_DATA_HOME=${user}/data TMPDIR=${user}/tmp
                        ${PREFIX}/bin/VelmoraWallpaper --self-test
                OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
file(REMOVE_RECURSE ${user})
if(NOT status EQUAL 0 OR NOT output STREQUAL "self-test=ok\n" OR NOT errors STREQUAL "")
  message(FATAL_ERROR "The installed --self-test gave ${status}: ${output}${errors}")
endif()
