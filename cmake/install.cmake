# Install step: the programs with their manual pages, the desktop entry, icons and AppStream
# metadata, the sample photograph, and the Uninstall entry in the machine registry folder. That
# entry is what makes an installed Huelet "installed"; a program run from its build folder has
# none and runs portable.

install(TARGETS huelet RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(_huelet_tool huelet-splash huelet-identify)
    if(TARGET ${_huelet_tool})
        install(TARGETS ${_huelet_tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

set(_huelet_resources ${CMAKE_SOURCE_DIR}/resources)
set(_huelet_generated ${CMAKE_BINARY_DIR}/resources)

# Manual pages: troff written by hand; only the version and folders are filled in.
foreach(_huelet_page huelet huelet-splash huelet-identify)
    configure_file(${_huelet_resources}/man/${_huelet_page}.1.in
                   ${_huelet_generated}/man/${_huelet_page}.1 @ONLY)
    install(FILES ${_huelet_generated}/man/${_huelet_page}.1
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# huelet-splash without arguments looks for it here (HUELET_SAMPLES_FROM_BINDIR).
install(FILES ${_huelet_resources}/samples/coffee.jpg ${_huelet_resources}/samples/LICENSES.txt
        DESTINATION ${CMAKE_INSTALL_DATADIR}/huelet/samples)

install(FILES ${_huelet_resources}/huelet.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# Icons: the window's own 128 px picture, the SVG, and the other sizes drawn from the SVG
# (supersampled, so 256 px is as sharp as 48 px; date chunks left out so builds repeat).
set(_huelet_icon_root ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${_huelet_resources}/huelet.png DESTINATION ${_huelet_icon_root}/128x128/apps)
install(FILES ${_huelet_resources}/huelet.svg DESTINATION ${_huelet_icon_root}/scalable/apps)
find_program(HUELET_CONVERT convert DOC "ImageMagick's convert, which draws the icon sizes")
if(HUELET_CONVERT)
    set(_huelet_icon_files)
    foreach(_huelet_size 48 64 256)
        set(_huelet_icon ${_huelet_generated}/icons/${_huelet_size}x${_huelet_size}/huelet.png)
        add_custom_command(OUTPUT ${_huelet_icon}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${_huelet_generated}/icons/${_huelet_size}x${_huelet_size}
            COMMAND ${HUELET_CONVERT} -background none -density 384 ${_huelet_resources}/huelet.svg
                    -resize ${_huelet_size}x${_huelet_size} -depth 8 -strip
                    -define png:exclude-chunks=date,time PNG32:${_huelet_icon}
            DEPENDS ${_huelet_resources}/huelet.svg
            COMMENT "Drawing the ${_huelet_size} px icon"
            VERBATIM)
        list(APPEND _huelet_icon_files ${_huelet_icon})
        install(FILES ${_huelet_icon} DESTINATION ${_huelet_icon_root}/${_huelet_size}x${_huelet_size}/apps)
    endforeach()
    add_custom_target(huelet_icons ALL DEPENDS ${_huelet_icon_files})
else()
    message(WARNING "ImageMagick's convert not found: only the 128 px and scalable icons are installed")
endif()

# AppStream metadata, named after its component id. Its addresses follow HUELET_WEB_SITE, with
# exactly one closing slash and the characters XML reserves escaped.
string(REGEX REPLACE "/+$" "" HUELET_WEB_SITE_ROOT "${HUELET_WEB_SITE}")
string(APPEND HUELET_WEB_SITE_ROOT "/")
string(REPLACE "&" "&amp;" HUELET_WEB_SITE_ROOT "${HUELET_WEB_SITE_ROOT}")
string(REPLACE "<" "&lt;" HUELET_WEB_SITE_ROOT "${HUELET_WEB_SITE_ROOT}")
string(REPLACE ">" "&gt;" HUELET_WEB_SITE_ROOT "${HUELET_WEB_SITE_ROOT}")
configure_file(${_huelet_resources}/huelet.metainfo.xml.in
               ${_huelet_generated}/invalid.huelet.Huelet.metainfo.xml @ONLY)
install(FILES ${_huelet_generated}/invalid.huelet.Huelet.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The .reg file is written at install time, so that "cmake --install --prefix P" records P.
# Its folder follows the sysconfdir rule: /etc for the prefix /usr, /etc/opt/... for /opt/...,
# <prefix>/etc otherwise.
install(CODE "set(_huelet_version \"${PROJECT_VERSION}\")
set(_huelet_bindir \"${CMAKE_INSTALL_BINDIR}\")
set(_huelet_work \"${CMAKE_BINARY_DIR}/install-registry\")")
install(CODE [[
    set(_prefix "${CMAKE_INSTALL_PREFIX}")
    string(REGEX REPLACE "/+$" "" _prefix "${_prefix}")
    if(_prefix STREQUAL "/usr" OR _prefix STREQUAL "")
        set(_etc "/etc")
    elseif(_prefix MATCHES "^/opt/")
        set(_etc "/etc${_prefix}")
    else()
        set(_etc "${_prefix}/etc")
    endif()
    if(IS_ABSOLUTE "${_huelet_bindir}")
        set(_bin "${_huelet_bindir}")
    else()
        set(_bin "${_prefix}/${_huelet_bindir}")
    endif()
    # Backslashes and quotes are escaped as the .reg format wants them.
    string(REPLACE "\\" "\\\\" _bin_escaped "${_bin}/")
    string(REPLACE "\"" "\\\"" _bin_escaped "${_bin_escaped}")
    file(MAKE_DIRECTORY "${_huelet_work}")
    file(WRITE "${_huelet_work}/huelet.reg"
"REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Huelet]
\"DisplayName\"=\"Norwick Softworks Huelet\"
\"DisplayVersion\"=\"${_huelet_version}\"
\"Publisher\"=\"Norwick Softworks\"
\"InstallLocation\"=\"${_bin_escaped}\"
")
    # file(INSTALL) prepends DESTDIR itself.
    file(INSTALL "${_huelet_work}/huelet.reg"
         DESTINATION "${_etc}/xdg/Norwick Softworks/registry.d")
]])
