# lumo_add_module(<target> OUTPUT_DIR <dir> SOURCES ...): a plug-in module, a shared library
# that exports only Lumo_GetApi and links the shared platform library.
function(lumo_add_module target)
    cmake_parse_arguments(ARG "" "OUTPUT_DIR" "SOURCES" ${ARGN})
    add_library(${target} MODULE ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE lumo-abi lumo-platform)
    # Module support shared by all modules ("common/BoundaryGuard.h").
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/modules)
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    if(ARG_OUTPUT_DIR)
        set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIR})
    endif()
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
endfunction()
