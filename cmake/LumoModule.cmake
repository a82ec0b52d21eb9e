# lumo_add_module(<target> OUTPUT_DIR <dir> SOURCES ...): a plug-in module, a shared library
# that exports only Lumo_GetApi and links the shared platform library and the module support.
function(lumo_add_module target)
    cmake_parse_arguments(ARG "" "OUTPUT_DIR" "SOURCES" ${ARGN})
    add_library(${target} MODULE ${ARG_SOURCES})
    # The support library every module shares ("support/BoundaryGuard.h").
    target_link_libraries(${target} PRIVATE lumo-abi lumo-platform lumo-module-support)
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    if(ARG_OUTPUT_DIR)
        set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIR})
    endif()
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
endfunction()
