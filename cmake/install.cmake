# Install step: the programs, the desktop entry and icon, and the Uninstall entry in the
# machine registry folder. That entry is what makes an installed Huelet "installed"; a program
# run from its build folder has none and runs portable.

install(TARGETS huelet RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET huelet-splash)
    install(TARGETS huelet-splash RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(_huelet_resources ${CMAKE_SOURCE_DIR}/resources)
if(EXISTS ${_huelet_resources}/huelet.desktop)
    install(FILES ${_huelet_resources}/huelet.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()
if(EXISTS ${_huelet_resources}/huelet.png)
    install(FILES ${_huelet_resources}/huelet.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
endif()
if(EXISTS ${_huelet_resources}/huelet.metainfo.xml)
    install(FILES ${_huelet_resources}/huelet.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

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
