# The Windows trees: which Windows the sources are compiled for, the settings of
# the programs we ship, and the check of their import tables.
#
#   kx_shipped_program(target [DESCRIPTION text] [ICON file.ico])
#       A program that goes to users: size flags, section garbage collection,
#       link-time optimisation in the i686 tree, no symbols in release builds, a
#       link map beside the program (bench/stub-size.py reads it),
#       Terminal-Server aware, an icon and a version resource, and the import
#       test below (which also checks that no image carries a link time). The
#       setup stub and the uninstaller call it.
#   kx_check_imports(TARGET target [DLL_RULE_ONLY])
#       Registers the import test of a program (done by kx_shipped_program).
#       DLL_RULE_ONLY: only that the program needs no DLL but Windows' own, for
#       the tools and the demo package's programs.
#   kx_check_parts(TARGET target ABSENT "library.a(member)"...)
#       Registers the test that a shipped program's link map shows none of the
#       archive members named (tests/imports/check_parts.py).
if(NOT WIN32)
    return()
endif()

# The oldest systems the shipped programs load on: Windows 98 (WINVER 0x0410) and
# NT 4 (_WIN32_WINNT 0x0400), with the shell and common controls of IE 5. The
# headers then hide what only newer systems declare; such functions are looked
# up at run time (sys/SystemLibrary.h) and used when present.
set(KX_WINVER 0x0410)
set(KX_WIN32_WINNT 0x0400)
set(KX_WIN32_IE 0x0500)
add_compile_definitions(WINVER=${KX_WINVER} _WIN32_WINNT=${KX_WIN32_WINNT} _WIN32_IE=${KX_WIN32_IE})
# Each function and datum in its own section, so that the shipped programs'
# link drops whatever they never reach.
add_compile_options(-ffunction-sections -fdata-sections)
# No link time in any image: the same sources give the same bytes.
add_link_options(-Wl,--no-insert-timestamp)

# The date a build stands for, where one is needed (the payload's file times):
# SOURCE_DATE_EPOCH when set, else the time of the sources' last commit.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(KX_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
    execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE KX_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE kxGitRc ERROR_QUIET)
    if(NOT kxGitRc EQUAL 0 OR NOT KX_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
        set(KX_SOURCE_DATE_EPOCH 946684800) # 2000-01-01
    endif()
endif()

# Link-time optimisation of the shipped programs of the product's tree: every
# object carries GCC's intermediate code beside its machine code (fat objects);
# the shipped programs are optimised as a whole from the former, which leaves
# out what no path reaches and inlines across units, and every other program
# links the machine code as before (-fno-lto), as fast.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    option(KX_SHIPPED_LTO "Link-time optimisation of the shipped programs" ON)
endif()
# For bench/stub-size.py: the optimiser's assembly stays beside each shipped
# program (<program>.ltrans0.ltrans.s), which the benchmark counts per source file.
option(KX_SHIPPED_SAVE_TEMPS "Keep the link-time optimiser's files of the shipped programs" OFF)
if(KX_SHIPPED_LTO)
    add_compile_options(-flto -ffat-lto-objects)
    add_link_options(-fno-lto)
endif()

set(KX_WINDOWS_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "cmake/ of the sources")
set(KX_PRODUCT_NAME "kxsetup")
set(KX_COMPANY_NAME "Velmora")

function(kx_shipped_program target)
    cmake_parse_arguments(A "" "DESCRIPTION;ICON" "" ${ARGN})
    if(NOT A_DESCRIPTION)
        set(A_DESCRIPTION "${target}")
    endif()
    if(NOT A_ICON)
        set(A_ICON ${PROJECT_SOURCE_DIR}/app/resources/setup.ico)
    endif()
    get_target_property(outName ${target} OUTPUT_NAME)
    if(NOT outName)
        set(outName ${target})
    endif()
    # The icon group and the version resource have ID 1, where Explorer looks
    # first; a package may replace both in its setup program.
    set(KX_RC_DESCRIPTION "${A_DESCRIPTION}")
    set(KX_RC_FILENAME "${outName}.exe")
    set(KX_RC_ICON "${A_ICON}")
    set(KX_RC_PRODUCT "${KX_PRODUCT_NAME}")
    set(KX_RC_COMPANY "${KX_COMPANY_NAME}")
    set(KX_RC_VERSION_TEXT "${PROJECT_VERSION}")
    string(REPLACE "." "," KX_RC_VERSION_COMMAS "${PROJECT_VERSION}.0")
    set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_identity.rc)
    configure_file(${KX_WINDOWS_DIR}/ProgramIdentity.rc.in ${rc} @ONLY)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${A_ICON}")
    target_sources(${target} PRIVATE ${rc} $<TARGET_OBJECTS:kx_small_runtime>)
    if(KX_SHIPPED_LTO)
        # One partition: GCC 12 stops with an internal error in its mod/ref pass
        # when it cuts these programs into several.
        target_link_options(${target} PRIVATE -flto -flto-partition=one)
        if(KX_SHIPPED_SAVE_TEMPS)
            target_link_options(${target} PRIVATE -save-temps=obj)
        endif()
    endif()
    target_link_options(${target} PRIVATE
        "-Wl,-Map=$<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.map"
        -Wl,--gc-sections
        # Windows 98 and NT 4 refuse an image that asks for a newer subsystem.
        -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
        # Works in every Terminal Services session as it is: no compatibility shims.
        -Wl,--tsaware
        -Wl,--major-os-version,4 -Wl,--minor-os-version,0
        # Size is what users download: release builds carry no symbols.
        $<$<CONFIG:MinSizeRel,Release>:-s>)
    kx_check_imports(TARGET ${target})
endfunction()

find_package(Python3 COMPONENTS Interpreter)

# The import test: every DLL a shipped program imports is one that Windows takes
# from the system directory, and every function is in the reviewed list of
# exports (tests/imports/windows-exports.txt) for each system the program is
# for. The x86_64 tree is not shipped; it checks the DLL rule alone.
function(kx_check_imports)
    cmake_parse_arguments(A "DLL_RULE_ONLY" "TARGET" "" ${ARGN})
    if(NOT KX_BUILD_TESTS OR NOT Python3_Interpreter_FOUND)
        return()
    endif()
    set(mode)
    if(A_DLL_RULE_ONLY OR CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
        set(mode --dll-rule-only)
    endif()
    add_test(NAME imports_${A_TARGET}
        COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/imports/check_imports.py
                --exports ${PROJECT_SOURCE_DIR}/tests/imports/windows-exports.txt ${mode}
                $<TARGET_FILE:${A_TARGET}>)
    set_tests_properties(imports_${A_TARGET} PROPERTIES LABELS "package" TIMEOUT 60)
endfunction()

# What a shipped program must not carry, read from the link map that
# kx_shipped_program has the linker write beside it.
function(kx_check_parts)
    cmake_parse_arguments(A "" "TARGET" "ABSENT" ${ARGN})
    if(NOT KX_BUILD_TESTS OR NOT Python3_Interpreter_FOUND)
        return()
    endif()
    set(args)
    foreach(member ${A_ABSENT})
        list(APPEND args --absent "${member}")
    endforeach()
    add_test(NAME parts_${A_TARGET}
        COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/imports/check_parts.py
                --map $<TARGET_FILE_DIR:${A_TARGET}>/$<TARGET_FILE_BASE_NAME:${A_TARGET}>.map ${args})
    set_tests_properties(parts_${A_TARGET} PROPERTIES LABELS "package" TIMEOUT 60)
endfunction()
