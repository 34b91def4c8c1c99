# The layers' include roots stop an include that points up in the usual form; these two forms they
# cannot see, so every build checks the sources for them and fails:
#   - a relative include ("../ui/productname.h"), which the compiler finds beside the file;
#   - in a GUI-free folder (the client's layers below the windows, the service, the tools), a header
#     of a Qt GUI module, with its module (<QtGui/QGuiApplication>) or without (<QGuiApplication>).
#
# vpn_check_includes(GUI_FREE folders... OTHERS folders... TARGETS targets...): the TARGETS build only
# after the check passed. Run as a script (-P) it does the check itself.

if(CMAKE_SCRIPT_MODE_FILE)
    cmake_policy(VERSION 3.16)
    # The lists come joined with "|": a ";" would not survive the command line.
    foreach(list GUI_FREE OTHERS GUI_MODULE_DIRS)
        string(REPLACE "|" ";" ${list} "${${list}}")
    endforeach()
    if(NOT GUI_MODULE_DIRS)
        message(FATAL_ERROR "No folder of a Qt GUI module's headers to check against")
    endif()
    set(problems "")
    foreach(kind GUI_FREE OTHERS)
        foreach(folder ${${kind}})
            if(NOT IS_DIRECTORY "${folder}")
                message(FATAL_ERROR "No folder ${folder} to check")
            endif()
            file(GLOB_RECURSE sources "${folder}/*.cpp" "${folder}/*.h")
            foreach(source ${sources})
                file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include")
                foreach(line ${lines})
                    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*$" "\\1" name "${line}")
                    if(name MATCHES "(^|/)\\.\\.?/")
                        list(APPEND problems "${source}: relative include ${line}")
                    elseif(kind STREQUAL "GUI_FREE")
                        foreach(module ${GUI_MODULE_DIRS})
                            get_filename_component(module_name "${module}" NAME)
                            if(name MATCHES "^${module_name}(/|$)" OR (NOT name MATCHES "/" AND EXISTS "${module}/${name}"))
                                list(APPEND problems "${source}: GUI header in a GUI-free folder ${line}")
                            endif()
                        endforeach()
                    endif()
                endforeach()
            endforeach()
        endforeach()
    endforeach()
    if(problems)
        list(JOIN problems "\n" text)
        message(FATAL_ERROR "Includes the layers do not allow:\n${text}")
    endif()
    file(TOUCH "${STAMP}")
    return()
endif()

set(VPN_INCLUDE_CHECK_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")

function(vpn_check_includes)
    cmake_parse_arguments(C "" "" "GUI_FREE;OTHERS;TARGETS" ${ARGN})
    # The folders of the Qt GUI modules' headers, as the targets name them.
    set(module_dirs "")
    foreach(module Gui Widgets Qml QmlModels Quick QuickControls2 QuickWidgets Svg)
        if(TARGET Qt5::${module})
            get_target_property(dirs Qt5::${module} INTERFACE_INCLUDE_DIRECTORIES)
            foreach(dir ${dirs})
                if(dir MATCHES "/Qt${module}$")
                    list(APPEND module_dirs "${dir}")
                endif()
            endforeach()
        endif()
    endforeach()
    set(sources "")
    foreach(folder ${C_GUI_FREE} ${C_OTHERS})
        file(GLOB_RECURSE found CONFIGURE_DEPENDS "${folder}/*.cpp" "${folder}/*.h")
        list(APPEND sources ${found})
    endforeach()
    set(stamp "${CMAKE_BINARY_DIR}/include-check.stamp")
    list(JOIN C_GUI_FREE "|" gui_free)
    list(JOIN C_OTHERS "|" others)
    list(JOIN module_dirs "|" modules)
    add_custom_command(OUTPUT "${stamp}"
        COMMAND "${CMAKE_COMMAND}" "-DGUI_FREE=${gui_free}" "-DOTHERS=${others}" "-DGUI_MODULE_DIRS=${modules}"
            "-DSTAMP=${stamp}" -P "${VPN_INCLUDE_CHECK_SCRIPT}"
        DEPENDS ${sources} "${VPN_INCLUDE_CHECK_SCRIPT}"
        COMMENT "Checking the includes of the layers, the service and the tools"
        VERBATIM)
    add_custom_target(vpn_include_check DEPENDS "${stamp}")
    foreach(target ${C_TARGETS})
        if(TARGET ${target})
            add_dependencies(${target} vpn_include_check)
        endif()
    endforeach()
endfunction()
