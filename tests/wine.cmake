# The Windows build's tests, run under Wine by scripts/windows/test.sh: units whose Windows side Wine
# carries. The server list and the API client need no system facility beyond loopback. (The settings'
# test reads and damages the store as the Linux build keeps it, an INI file: it runs there.)
vpn_add_test(NAME tst_host SOURCES foundation/tst_host.cpp LAYER vpnfoundation NO_QML)
vpn_add_test(NAME tst_serverlistmodel SOURCES servers/tst_serverlistmodel.cpp LAYER vpnservers NO_QML)
vpn_add_test(NAME tst_networkapi SOURCES servers/tst_networkapi.cpp LAYER vpnservers NO_QML)
# The tools' Windows decisions, as on Linux; then killswitch.exe against Wine's missing filtering
# platform (refused, never reported in place) and dns.exe against Wine's registry.
vpn_add_test(NAME tst_wfpfilters SOURCES tools/tst_wfpfilters.cpp LAYER vpntoolsupport NO_QML)
vpn_add_test(NAME tst_interfacedns SOURCES tools/tst_interfacedns.cpp LAYER vpntoolsupport NO_QML)
vpn_add_test(NAME tst_wintools SOURCES tools/tst_wintools.cpp LAYER vpntoolsupport NO_QML DEPENDS killswitch dns)
# The service's Windows rules (the TCP table's owner, the token's standing, the programs' access
# lists, the service manager's states), as the Windows build compiles them.
if(TARGET vpnserviceparts)
    vpn_add_test(NAME tst_windowsrules SOURCES service/tst_windowsrules.cpp LAYER vpnfoundation LIBS vpnserviceparts NO_QML)
endif()
# The command line's line protocol and the quickest location's choice, as the Windows build compiles
# them. (The parsers of recorded Windows output are tested in the Linux build: their test also
# drives the Linux sides.)
vpn_add_test(NAME tst_remoteprotocol SOURCES remote/tst_remoteprotocol.cpp LAYER vpnremoteprotocol NO_QML)
vpn_add_test(NAME tst_serverlatency SOURCES servers/tst_serverlatency.cpp LAYER vpnservers NO_QML)
