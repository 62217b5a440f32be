# Test helpers: native GoogleTest units, Windows GoogleTest programs run under
# Wine, and the aggregation that lets one ctest in build/host run every tree.

# kx_add_unit_test(NAME n SOURCES ... [LIBS ...]) -- native only.
function(kx_add_unit_test)
    cmake_parse_arguments(A "" "NAME" "SOURCES;LIBS" ${ARGN})
    if(WIN32 OR NOT KX_BUILD_TESTS)
        return()
    endif()
    find_package(GTest REQUIRED)
    add_executable(${A_NAME} ${A_SOURCES})
    target_link_libraries(${A_NAME} PRIVATE ${A_LIBS} GTest::gtest GTest::gtest_main)
    target_include_directories(${A_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    add_test(NAME ${A_NAME} COMMAND ${A_NAME})
    set_tests_properties(${A_NAME} PROPERTIES LABELS "unit" TIMEOUT 300)
endfunction()

# GoogleTest built with MinGW from the sources Debian ships.
macro(kx_windows_gtest)
    if(NOT TARGET gtest)
        set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
        add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
        # GoogleTest's Notification needs std::mutex, which the win32 thread-model
        # libstdc++ does not have; a replacement is force-included instead.
        target_compile_definitions(gtest PUBLIC GTEST_HAS_NOTIFICATION_=1)
        target_compile_options(gtest PUBLIC -include ${PROJECT_SOURCE_DIR}/tests/win32/GTestNotification.h)
    endif()
endmacro()

# Which Wine runs this tree's test programs here. The product is i686, so where
# 32-bit Wine runs, the win32 tree runs the Wine tests: in a 32-bit prefix, and
# those registered with WOW64 also in a 64-bit prefix, as a 32-bit program runs
# on 64-bit Windows (registry and system-directory redirection). The win64 tree
# then only builds; it registers the Wine tests where 32-bit Wine cannot run
# (or when KX_WIN64_WINE_TESTS is on), so no Wine test runs twice.
option(KX_WIN64_WINE_TESTS "Register the Wine tests in the win64 tree even where 32-bit Wine runs" OFF)
function(kx_wine_runs loader out)
    set(ok FALSE)
    if(EXISTS ${loader})
        execute_process(COMMAND ${loader} --version RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
        if(rc EQUAL 0)
            set(ok TRUE)
        endif()
    endif()
    set(${out} ${ok} PARENT_SCOPE)
endfunction()

if(WIN32 AND KX_BUILD_TESTS AND NOT DEFINED KX_WINE)
    kx_wine_runs(/usr/lib/wine/wine kxWine32)
    kx_wine_runs(/usr/lib/wine/wine64 kxWine64)
    set(KX_WINE "")
    set(KX_WINE64 "")
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
        if(kxWine64 AND (NOT kxWine32 OR KX_WIN64_WINE_TESTS))
            set(KX_WINE /usr/lib/wine/wine64)
        elseif(kxWine32)
            message(STATUS "32-bit Wine runs here: the win32 tree runs the Wine tests; this tree only builds")
        endif()
    elseif(kxWine32)
        set(KX_WINE /usr/lib/wine/wine)
        if(kxWine64)
            # The 32-bit loader runs i686 programs in a 64-bit prefix too (WoW64).
            set(KX_WINE64 /usr/lib/wine/wine64)
        endif()
    endif()
    set(KX_WINE "${KX_WINE}" CACHE STRING "Wine loader that runs this build's programs (empty: none)")
    set(KX_WINE64 "${KX_WINE64}" CACHE STRING "wine64, which makes the 64-bit prefix for the i686 programs (empty: none)")
    if(NOT KX_WINE AND NOT kxWine32)
        message(STATUS "Wine cannot run ${CMAKE_SYSTEM_PROCESSOR} programs here; Wine tests of this tree are not registered")
    endif()
endif()

if(WIN32 AND KX_BUILD_TESTS AND KX_WINE)
    set(KX_WINE_ROOT ${CMAKE_BINARY_DIR}/wine)
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
        set(arch win64)
    else()
        set(arch win32)
    endif()
    set(templates ${KX_WINE_ROOT}/template/.made)
    add_custom_command(OUTPUT ${KX_WINE_ROOT}/template/.made
        COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-template.sh ${KX_WINE} ${KX_WINE_ROOT}/template ${arch}
        COMMENT "Preparing the template Wine prefix (${arch})")
    if(KX_WINE64 AND arch STREQUAL "win32")
        list(APPEND templates ${KX_WINE_ROOT}/template64/.made)
        add_custom_command(OUTPUT ${KX_WINE_ROOT}/template64/.made
            COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-template.sh ${KX_WINE64} ${KX_WINE_ROOT}/template64 win64
            COMMENT "Preparing the 64-bit template Wine prefix for the 32-bit programs")
    endif()
    add_custom_target(wine_template ALL DEPENDS ${templates})
endif()

# kx_add_win_program(NAME n SOURCES ... [LIBS ...] [GTEST]) -- a Windows test program.
function(kx_add_win_program)
    cmake_parse_arguments(A "GTEST;GTEST_NOMAIN;GUI" "NAME" "SOURCES;LIBS" ${ARGN})
    # Test programs are only built where Wine can run them.
    if(NOT WIN32 OR NOT KX_BUILD_TESTS OR NOT KX_WINE)
        return()
    endif()
    add_executable(${A_NAME} ${A_SOURCES})
    target_include_directories(${A_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${A_NAME} PRIVATE ${A_LIBS})
    if(A_GTEST)
        kx_windows_gtest()
        target_link_libraries(${A_NAME} PRIVATE gtest gtest_main)
    elseif(A_GTEST_NOMAIN)
        kx_windows_gtest()
        target_link_libraries(${A_NAME} PRIVATE gtest)
    endif()
    if(A_GUI)
        set_target_properties(${A_NAME} PROPERTIES WIN32_EXECUTABLE ON)
    endif()
endfunction()

# kx_add_wine_test(NAME n COMMAND target [args...] [FAMILY win98|winxp] [LOCALE l]
#                  [DISPLAY] [TIMEOUT s] [WOW64] [TMPFS "dir:size" ...])
# Runs the command in a fresh copy of the template prefix, in the chosen Windows
# family and locale, under Xvfb when DISPLAY is given. WOW64 adds the test
# n_wow64 in the i686 tree: the same run in a copy of the 64-bit prefix. Each
# TMPFS entry mounts a small file system of that size at C:\dir (needs root).
function(kx_add_wine_test)
    cmake_parse_arguments(A "DISPLAY;WOW64" "NAME;FAMILY;LOCALE;TIMEOUT" "COMMAND;TMPFS" ${ARGN})
    if(NOT WIN32 OR NOT KX_BUILD_TESTS OR NOT KX_WINE)
        return()
    endif()
    if(NOT A_FAMILY)
        set(A_FAMILY winxp)
    endif()
    if(NOT A_LOCALE)
        set(A_LOCALE C)
    endif()
    if(NOT A_TIMEOUT)
        set(A_TIMEOUT 300)
    endif()
    if(A_WOW64 AND A_FAMILY STREQUAL "win98")
        message(FATAL_ERROR "kx_add_wine_test(${A_NAME}): a 64-bit Windows is never of the win98 family")
    endif()
    list(POP_FRONT A_COMMAND target)
    set(opts --wine ${KX_WINE} --root ${KX_WINE_ROOT} --family ${A_FAMILY} --locale ${A_LOCALE})
    if(A_DISPLAY)
        list(APPEND opts --display)
    endif()
    foreach(m ${A_TMPFS})
        list(APPEND opts --tmpfs ${m})
    endforeach()
    set(runs "${A_NAME}:template")
    if(A_WOW64 AND KX_WINE64 AND NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
        list(APPEND runs "${A_NAME}_wow64:template64")
    endif()
    foreach(run ${runs})
        string(REPLACE ":" ";" run ${run})
        list(GET run 0 name)
        list(GET run 1 template)
        add_test(NAME ${name}
            COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh ${opts} --name ${name} --template ${template}
                    -- $<TARGET_FILE:${target}> ${A_COMMAND})
        # The longer a test may take, the earlier ctest starts it, so that a
        # long one does not run alone at the end (ctest knows the times only
        # after a first run).
        set_tests_properties(${name} PROPERTIES LABELS "wine" TIMEOUT ${A_TIMEOUT} COST ${A_TIMEOUT})
    endforeach()
endfunction()
