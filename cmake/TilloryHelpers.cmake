# Shared compile flags for every target of ours.
function(tillory_compile_options target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                             -Wold-style-cast -Wcast-align -Woverloaded-virtual)
    if(TILLORY_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS)
endfunction()

# A logic library: QtCore only (nothing from Qt GUI, Quick or X11 may reach it).
function(tillory_add_logic_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC Qt6::Core ${ARG_DEPENDS})
    tillory_compile_options(${name})
    set_property(GLOBAL APPEND PROPERTY TILLORY_LOGIC_LIBRARIES ${name})
endfunction()

# A GoogleTest executable whose tests are registered with CTest under a label.
function(tillory_add_test name)
    cmake_parse_arguments(ARG "" "LABEL" "SOURCES;DEPENDS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gmock GTest::gtest_main)
    tillory_compile_options(${name})
    if(NOT ARG_LABEL)
        set(ARG_LABEL unit)
    endif()
    gtest_discover_tests(${name} PROPERTIES LABELS ${ARG_LABEL} DISCOVERY_TIMEOUT 30)
endfunction()

# Fails the configure step when a logic library links Qt GUI, Widgets or Quick.
function(tillory_check_logic_libraries)
    get_property(libs GLOBAL PROPERTY TILLORY_LOGIC_LIBRARIES)
    foreach(lib IN LISTS libs)
        get_target_property(deps ${lib} LINK_LIBRARIES)
        foreach(dep IN LISTS deps)
            if(dep MATCHES "Qt6::(Gui|Widgets|Quick|Qml)")
                message(FATAL_ERROR "${lib} is a logic library and must not link ${dep}")
            endif()
        endforeach()
    endforeach()
endfunction()
