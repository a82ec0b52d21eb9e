# The AppStream metadata, the desktop entry and the copyright file agree with the project and
# with each other: one id, the current version as the newest release, a screenshot that exists
# at the size it claims, and one licence.
# cmake -DSOURCE=<tree> -DAPP_ID= -DVERSION= -DCOPYRIGHT= -P CheckMetadata.cmake
set(failures "")
file(READ ${SOURCE}/packaging/${APP_ID}.metainfo.xml metainfo)
file(READ ${SOURCE}/packaging/${APP_ID}.desktop desktop)
file(READ ${SOURCE}/packaging/copyright copyright)

function(expect_match text regex what)
    if(NOT text MATCHES "${regex}")
        set(failures "${failures}${what}\n" PARENT_SCOPE)
    endif()
endfunction()

expect_match("${metainfo}" "<id>${APP_ID}</id>" "the metainfo's id is not ${APP_ID}")
expect_match("${metainfo}" "<launchable type=\"desktop-id\">${APP_ID}\\.desktop</launchable>"
    "the metainfo does not launch ${APP_ID}.desktop")
expect_match("${desktop}" "\nIcon=${APP_ID}\n" "the desktop entry's icon is not ${APP_ID}")

# The newest release comes first.
if(metainfo MATCHES "<release version=\"([^\"]+)\" date=\"([0-9-]+)\"")
    if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
        string(APPEND failures "the newest release is ${CMAKE_MATCH_1}, the project is ${VERSION}\n")
    endif()
else()
    string(APPEND failures "the metainfo has no release\n")
endif()

# The screenshot is the manual's, as published on the web site.
if(metainfo MATCHES "<image type=\"source\" width=\"([0-9]+)\" height=\"([0-9]+)\">[^<]*/([^/<]+)</image>")
    set(width ${CMAKE_MATCH_1})
    set(height ${CMAKE_MATCH_2})
    set(shot ${SOURCE}/docs/manual/${CMAKE_MATCH_3})
    if(NOT EXISTS ${shot})
        string(APPEND failures "the screenshot ${shot} is not in the manual\n")
    else()
        # A PNG's width and height are the big-endian words at byte 16 and 20.
        file(READ ${shot} header OFFSET 16 LIMIT 8 HEX)
        string(SUBSTRING "${header}" 0 8 hex_width)
        string(SUBSTRING "${header}" 8 8 hex_height)
        math(EXPR png_width "0x${hex_width}")
        math(EXPR png_height "0x${hex_height}")
        if(NOT png_width EQUAL width OR NOT png_height EQUAL height)
            string(APPEND failures "the screenshot is ${png_width}x${png_height}, the metainfo says ${width}x${height}\n")
        endif()
    endif()
else()
    string(APPEND failures "the metainfo has no source screenshot\n")
endif()

# One licence: what the metainfo says is what the package's copyright file says for the program.
if(metainfo MATCHES "<project_license>([^<]+)</project_license>")
    set(licence ${CMAKE_MATCH_1})
    expect_match("${copyright}" "\nFiles: \\*\nCopyright: [^\n]*\nLicense: ${licence}\n"
        "the copyright file does not license the program as ${licence}")
else()
    string(APPEND failures "the metainfo has no project licence\n")
endif()
string(REGEX REPLACE "^Copyright \\(C\\) " "" holder "${COPYRIGHT}")
expect_match("${copyright}" "\nCopyright: ${holder}\n" "the copyright file does not say ${COPYRIGHT}")

if(failures)
    message(FATAL_ERROR "${failures}")
endif()
