# Installation layout and the Debian package (cpack -G DEB in the build folder; scripts/build-package.sh
# configures the build for it). The client goes to bin/, the service and its tools to lib/NAME/, the
# unit to the system's systemd folder; the deployment's values are compiled in.
set(VPN_PACKAGE_NAME "korvexvpn")
set(VPN_GROUP "korvexvpn") # the group whose members may command the service
set(VPN_UNIT "vpn-service.service")
set(VPN_SOCKET_UNIT "vpn-service.socket") # holds the service's port across restarts
set(VPN_PACKAGE_RELEASE 1)
set(VPN_SERVICE_INSTALL_DIR "lib/${VPN_PACKAGE_NAME}")
# Debian 12 keeps the units of packages in /lib/systemd/system.
set(VPN_UNIT_INSTALL_DIR "/lib/systemd/system")

include(GNUInstallDirs)

set(VPN_PACKAGING_DIR "${CMAKE_SOURCE_DIR}/packaging")
set(VPN_PACKAGING_OUT "${CMAKE_BINARY_DIR}/packaging")
set(VPN_SERVICE_DIR "${CMAKE_INSTALL_PREFIX}/${VPN_SERVICE_INSTALL_DIR}")
set(VPN_SERVICE_EXECUTABLE "${VPN_SERVICE_DIR}/$<TARGET_FILE_NAME:vpn-service>")
# The units the maintainer scripts stop on removal.
set(VPN_UNITS "${VPN_SOCKET_UNIT} ${VPN_UNIT}")

install(TARGETS vpnclient korvex RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(TARGETS vpn-service killswitch dns RUNTIME DESTINATION "${VPN_SERVICE_INSTALL_DIR}")

# The unit names the service where it is installed; the target's file name is known at generation.
configure_file("${VPN_PACKAGING_DIR}/vpn-service.service.in" "${VPN_PACKAGING_OUT}/vpn-service.service.gen" @ONLY)
file(GENERATE OUTPUT "${VPN_PACKAGING_OUT}/${VPN_UNIT}" INPUT "${VPN_PACKAGING_OUT}/vpn-service.service.gen")
install(FILES "${VPN_PACKAGING_OUT}/${VPN_UNIT}" "${VPN_PACKAGING_DIR}/${VPN_SOCKET_UNIT}"
    DESTINATION "${VPN_UNIT_INSTALL_DIR}")

install(FILES "${VPN_PACKAGING_DIR}/${VPN_PACKAGE_NAME}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
# What software centres show (appstreamcli validate), and the command line's completion.
install(FILES "${VPN_PACKAGING_DIR}/net.korvex.${VPN_PACKAGE_NAME}.metainfo.xml"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES "${VPN_PACKAGING_DIR}/korvex.bash-completion"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions" RENAME korvex)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES "${VPN_PACKAGING_DIR}/icons/${VPN_PACKAGE_NAME}-${size}.png"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
        RENAME "${VPN_PACKAGE_NAME}.png")
endforeach()
install(FILES "${VPN_PACKAGING_DIR}/icons/${VPN_PACKAGE_NAME}.svg"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")

# Documentation as Debian wants it: the copyright file with the licences of what is bundled, the
# changelog and the client's manual page compressed with no time stamp.
set(VPN_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/${VPN_PACKAGE_NAME}")
file(READ "${VPN_PACKAGING_DIR}/debian/copyright.in" copyright)
foreach(licence "OFL-1.1:${CMAKE_SOURCE_DIR}/resources/fonts/LICENSE.Poppins.txt"
    "MIT:${CMAKE_SOURCE_DIR}/resources/icons/flags/LICENSE.flag-icons.txt")
    string(REGEX MATCH "^[^:]+" name "${licence}")
    string(REGEX REPLACE "^[^:]+:" "" path "${licence}")
    file(READ "${path}" text)
    string(REGEX REPLACE "\n+$" "" text "${text}")
    string(REGEX REPLACE "\n([ \t]*\n)+" "\n.\n" text "${text}")
    string(REGEX REPLACE "\n" "\n " text "${text}")
    if(name STREQUAL "MIT")
        string(APPEND copyright "\nFiles: resources/icons/flags/*\nCopyright: Panayiotis Lipiridis\nLicense: MIT\n")
    endif()
    string(APPEND copyright "\nLicense: ${name}\n ${text}\n")
endforeach()
file(WRITE "${VPN_PACKAGING_OUT}/copyright" "${copyright}")
install(FILES "${VPN_PACKAGING_OUT}/copyright" DESTINATION "${VPN_DOC_DIR}")

file(STRINGS "${VPN_PACKAGING_DIR}/debian/changelog" changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^${VPN_PACKAGE_NAME} \\(${PROJECT_VERSION}-${VPN_PACKAGE_RELEASE}\\) ")
    message(FATAL_ERROR "packaging/debian/changelog must start with the entry of "
        "${PROJECT_VERSION}-${VPN_PACKAGE_RELEASE}; it starts: ${changelog_head}")
endif()
find_program(VPN_GZIP gzip)
add_custom_command(OUTPUT "${VPN_PACKAGING_OUT}/changelog.Debian.gz"
    COMMAND "${VPN_GZIP}" -9nc "${VPN_PACKAGING_DIR}/debian/changelog" > "${VPN_PACKAGING_OUT}/changelog.Debian.gz"
    DEPENDS "${VPN_PACKAGING_DIR}/debian/changelog")
foreach(page vpnclient korvex)
    add_custom_command(OUTPUT "${VPN_PACKAGING_OUT}/${page}.1.gz"
        COMMAND "${VPN_GZIP}" -9nc "${VPN_PACKAGING_DIR}/${page}.1" > "${VPN_PACKAGING_OUT}/${page}.1.gz"
        DEPENDS "${VPN_PACKAGING_DIR}/${page}.1")
    list(APPEND VPN_MAN_PAGES "${VPN_PACKAGING_OUT}/${page}.1.gz")
endforeach()
add_custom_target(vpn_package_docs ALL DEPENDS "${VPN_PACKAGING_OUT}/changelog.Debian.gz" ${VPN_MAN_PAGES})
install(FILES "${VPN_PACKAGING_OUT}/changelog.Debian.gz" DESTINATION "${VPN_DOC_DIR}")
install(FILES ${VPN_MAN_PAGES} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

# Maintainer scripts: the group, and the unit enabled and started the way debhelper does it.
foreach(script postinst prerm postrm)
    configure_file("${VPN_PACKAGING_DIR}/debian/${script}.in" "${VPN_PACKAGING_OUT}/debian/${script}" @ONLY
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    list(APPEND VPN_MAINTAINER_SCRIPTS "${VPN_PACKAGING_OUT}/debian/${script}")
endforeach()

set(CPACK_PACKAGE_NAME "${VPN_PACKAGE_NAME}")
set(CPACK_PACKAGE_VENDOR "Korvex")
set(CPACK_PACKAGE_CONTACT "Korvex VPN developers <packages@korvex.example>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Korvex VPN client")
set(CPACK_PACKAGE_DESCRIPTION "Desktop client of the Korvex VPN with its privileged service.
The client shows the provider's servers, connects through OpenVPN and can
hold a network lock (kill switch) while connected. A system service started
at boot runs OpenVPN, the network lock (nftables) and the resolver changes
for the members of the group ${VPN_GROUP}.")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_FILE_NAME "${VPN_PACKAGE_NAME}") # replaced by the Debian name below
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE "${VPN_PACKAGE_RELEASE}")
set(CPACK_DEBIAN_PACKAGE_SECTION "net")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Besides the libraries: the QML modules the window imports, OpenVPN and nftables the service runs,
# and the group's tools.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "openvpn, nftables, adduser, \
qml-module-qtquick2, qml-module-qtquick-controls2, qml-module-qtquick-templates2, \
qml-module-qtquick-layouts, qml-module-qtquick-window2, qml-module-qtquick-dialogs")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${VPN_MAINTAINER_SCRIPTS})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
