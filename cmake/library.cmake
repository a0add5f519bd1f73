# huelet_library(NAME DEPS...): a static library of every .cpp in the calling folder.
# A folder without sources yet gives an interface library, so the tree always configures.
function(huelet_library name)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(sources)
        add_library(${name} STATIC ${sources} ${HUELET_EXTRA_SOURCES})
        target_link_libraries(${name} PUBLIC ${ARGN})
    else()
        add_library(${name} INTERFACE)
        target_link_libraries(${name} INTERFACE ${ARGN})
    endif()
endfunction()
