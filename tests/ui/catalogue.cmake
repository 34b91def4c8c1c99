# Fails unless refreshing the catalogue from the sources changes nothing: no new, changed or obsolete
# text, and every text translated. Run by ctest with -DLUPDATE= -DSOURCE_DIR= -DWORK_DIR=.
set(ts "${SOURCE_DIR}/src/translations/vpnclient_ru.ts")
set(copy "${WORK_DIR}/vpnclient_ru.ts")
file(MAKE_DIRECTORY "${WORK_DIR}")
configure_file("${ts}" "${copy}" COPYONLY)
# The same refresh as the vpn_lupdate target, on a copy.
execute_process(COMMAND "${LUPDATE}" -locations none -no-obsolete "${SOURCE_DIR}/src" "${SOURCE_DIR}/qml" -ts "${copy}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "lupdate failed: ${output}")
endif()
file(READ "${ts}" committed)
file(READ "${copy}" refreshed)
if(NOT committed STREQUAL refreshed)
    execute_process(COMMAND diff -u "${ts}" "${copy}" OUTPUT_VARIABLE difference)
    message(FATAL_ERROR "The catalogue is out of date; run the vpn_lupdate target:\n${difference}")
endif()
string(FIND "${committed}" "type=\"unfinished\"" unfinished)
if(NOT unfinished EQUAL -1)
    message(FATAL_ERROR "The catalogue has untranslated texts")
endif()
message("${output}")
