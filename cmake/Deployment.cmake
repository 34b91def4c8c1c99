# Picks the deployment folder and turns its values into generated constants and resources.
# A deployment folder holds deployment.cmake, which sets the VPN_DEPLOY_* variables below;
# file values are paths relative to that folder.
set(VPN_DEPLOYMENT_DIR "${CMAKE_SOURCE_DIR}/deployment/${VPN_DEPLOYMENT}")
if(NOT EXISTS "${VPN_DEPLOYMENT_DIR}/deployment.cmake")
    message(FATAL_ERROR "Deployment '${VPN_DEPLOYMENT}' not found: ${VPN_DEPLOYMENT_DIR}/deployment.cmake")
endif()

set(VPN_DEPLOY_API_HOST "")
set(VPN_DEPLOY_API_CA_FILE "")
set(VPN_DEPLOY_CIPHER_KEY "")
set(VPN_DEPLOY_OVPN_CA_FILE "")
set(VPN_DEPLOY_OVPN_TLS_CRYPT_FILE "")
# The provider's VPN server addresses (a list); empty: any public address.
set(VPN_DEPLOY_OVPN_SERVERS "")
include("${VPN_DEPLOYMENT_DIR}/deployment.cmake")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${VPN_DEPLOYMENT_DIR}/deployment.cmake")

if(VPN_DEPLOY_API_HOST STREQUAL "")
    message(FATAL_ERROR "Deployment '${VPN_DEPLOYMENT}' names no API host (VPN_DEPLOY_API_HOST)")
endif()
if(NOT VPN_DEPLOY_CIPHER_KEY MATCHES "^0x[0-9A-Fa-f]+$")
    message(FATAL_ERROR "Deployment '${VPN_DEPLOYMENT}': VPN_DEPLOY_CIPHER_KEY must be a hexadecimal 64-bit number (0x...)")
endif()

# Reads a file of the deployment folder into VAR, empty when the name is empty.
function(vpn_read_deployment_file VAR NAME)
    set(content "")
    if(NOT NAME STREQUAL "")
        set(path "${VPN_DEPLOYMENT_DIR}/${NAME}")
        if(NOT EXISTS "${path}")
            message(FATAL_ERROR "Deployment '${VPN_DEPLOYMENT}': missing file ${path}")
        endif()
        file(READ "${path}" content)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${path}")
    endif()
    set(${VAR} "${content}" PARENT_SCOPE)
endfunction()

vpn_read_deployment_file(VPN_DEPLOY_API_CA_PEM "${VPN_DEPLOY_API_CA_FILE}")
vpn_read_deployment_file(VPN_DEPLOY_OVPN_CA_PEM "${VPN_DEPLOY_OVPN_CA_FILE}")
vpn_read_deployment_file(VPN_DEPLOY_OVPN_TLS_CRYPT_KEY "${VPN_DEPLOY_OVPN_TLS_CRYPT_FILE}")

string(REPLACE ";" "," VPN_DEPLOY_OVPN_SERVERS_TEXT "${VPN_DEPLOY_OVPN_SERVERS}")

set(VPN_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")
configure_file("${CMAKE_SOURCE_DIR}/cmake/deploymentconfig.h.in" "${VPN_GENERATED_DIR}/deploymentconfig.h" @ONLY)
message(STATUS "Deployment: ${VPN_DEPLOYMENT} (API host ${VPN_DEPLOY_API_HOST})")
