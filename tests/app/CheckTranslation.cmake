# Runs lupdate over a copy of a translation and fails when the code holds a text the translation
# lacks (new, changed, or never translated).
file(COPY_FILE ${TS} ${WORK}/check-translation.ts)
execute_process(COMMAND ${LUPDATE} ${ARGUMENTS} -ts ${WORK}/check-translation.ts RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "lupdate failed: ${result}")
endif()
file(READ ${WORK}/check-translation.ts text)
string(REGEX MATCHALL "<source>[^<]*</source>[ \n]*(<comment>[^<]*</comment>[ \n]*)?<translation type=\"unfinished\""
    missing "${text}")
list(LENGTH missing count)
if(count GREATER 0)
    string(REGEX REPLACE "<translation type=\"unfinished\"" "" missing "${missing}")
    message(FATAL_ERROR "${count} texts are not translated in ${TS} (run the update-translations target, "
        "then translate them):\n${missing}")
endif()
message(STATUS "every text is translated in ${TS}")
