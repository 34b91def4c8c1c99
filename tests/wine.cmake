# The Windows build's tests, run under Wine by scripts/windows/test.sh: units whose Windows side Wine
# carries. Settings live in Wine's registry there; the server list and the API client need no
# system facility beyond loopback.
vpn_add_test(NAME tst_host SOURCES foundation/tst_host.cpp LAYER vpnfoundation NO_QML)
vpn_add_test(NAME tst_settings SOURCES settings/tst_settings.cpp LAYER vpnsettings NO_QML)
vpn_add_test(NAME tst_serverlistmodel SOURCES servers/tst_serverlistmodel.cpp LAYER vpnservers NO_QML)
vpn_add_test(NAME tst_networkapi SOURCES servers/tst_networkapi.cpp LAYER vpnservers NO_QML)
# The tools' Windows decisions, as on Linux; then killswitch.exe against Wine's missing filtering
# platform (refused, never reported in place) and dns.exe against Wine's registry.
vpn_add_test(NAME tst_wfpfilters SOURCES tools/tst_wfpfilters.cpp LAYER vpntoolsupport NO_QML)
vpn_add_test(NAME tst_interfacedns SOURCES tools/tst_interfacedns.cpp LAYER vpntoolsupport NO_QML)
vpn_add_test(NAME tst_wintools SOURCES tools/tst_wintools.cpp LAYER vpntoolsupport NO_QML DEPENDS killswitch dns)
# The service's Windows rules (the TCP table's owner, the token's standing, the programs' access
# lists, the service manager's states), as the Windows build compiles them.
vpn_add_test(NAME tst_windowsrules SOURCES service/tst_windowsrules.cpp LAYER vpnfoundation LIBS vpnserviceparts NO_QML)
