# Setup programs in CMake: the stub (the wizard without its KXFILE resources)
# and kx_add_setup_program, a thin wrapper that runs the host build's kxpack on
# a stub to add a package.
#
#   kx_add_setup_stub(NAME target [OUTPUT_NAME name] [STEPS sources...])
#
# STEPS replaces the program's own list of installation steps
# (app/InstallSteps.cpp) with other sources, for test builds.
#
#   kx_add_setup_program(NAME target [OUTPUT_NAME name]
#       SCRIPT file LICCN file LICB5 file LICEN file
#       (PAYLOAD archive | FILES files...) [UNINST file]
#       [DEPENDS targets...] [STEPS sources...] [FORCE])
#
# The target is the stub (with STEPS, a stub of those steps) linked as NAME,
# after which kxpack checks the package and adds it in place. FILES are the
# payload files, packed by kxpack under their file names; PAYLOAD is a ready
# archive instead (checked against the script, each entry test-extracted).
# UNINST defaults to the program of KX_DEFAULT_UNINST_TARGET. FORCE builds a
# package that kxpack's checks reject (errors become warnings): only for test
# packages that are wrong on purpose. PAYLOAD, UNINST and FILES may be generator
# expressions (e.g. $<TARGET_FILE:x>); name the targets that make them in DEPENDS.
set(KX_APP_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "Sources of the setup program")
# The program every setup carries as its uninstaller unless UNINST names another.
set(KX_DEFAULT_UNINST_TARGET kxuninst CACHE INTERNAL "Target whose program is the default UNINST")
set(KX_HOST_KXPACK "${PROJECT_SOURCE_DIR}/build/host/tools/kxpack/kxpack" CACHE FILEPATH
    "Native kxpack that adds the packages to the setup programs of the Windows trees")

function(kx_add_setup_stub)
    cmake_parse_arguments(A "" "NAME;OUTPUT_NAME" "STEPS" ${ARGN})
    if(NOT WIN32)
        return()
    endif()
    if(NOT A_STEPS)
        set(A_STEPS ${KX_APP_DIR}/InstallSteps.cpp)
    endif()
    set_source_files_properties(${KX_APP_DIR}/resources/setup.rc PROPERTIES
        OBJECT_DEPENDS "${KX_APP_DIR}/resources/setup.manifest;${KX_APP_DIR}/resources/title.bmp")
    add_executable(${A_NAME} WIN32 ${KX_APP_DIR}/SetupMain.cpp ${A_STEPS} ${KX_APP_DIR}/resources/setup.rc)
    target_include_directories(${A_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${KX_APP_DIR}/resources)
    target_link_libraries(${A_NAME} PRIVATE kx_app_win)
    if(A_OUTPUT_NAME)
        set_target_properties(${A_NAME} PROPERTIES OUTPUT_NAME ${A_OUTPUT_NAME})
    endif()
    kx_shipped_program(${A_NAME} DESCRIPTION "Setup wizard" ICON ${KX_APP_DIR}/resources/setup.ico)
endfunction()

function(kx_add_setup_program)
    cmake_parse_arguments(A "FORCE" "NAME;OUTPUT_NAME;SCRIPT;LICCN;LICB5;LICEN;PAYLOAD;UNINST"
                          "DEPENDS;STEPS;FILES" ${ARGN})
    if(NOT WIN32)
        return()
    endif()
    foreach(k SCRIPT LICCN LICB5 LICEN)
        if(NOT A_${k})
            message(FATAL_ERROR "kx_add_setup_program(${A_NAME}): ${k} is required")
        endif()
    endforeach()
    if((A_PAYLOAD AND A_FILES) OR (NOT A_PAYLOAD AND NOT A_FILES))
        message(FATAL_ERROR "kx_add_setup_program(${A_NAME}): give either PAYLOAD or FILES")
    endif()
    if(NOT A_UNINST)
        set(A_UNINST $<TARGET_FILE:${KX_DEFAULT_UNINST_TARGET}>)
        list(APPEND A_DEPENDS ${KX_DEFAULT_UNINST_TARGET})
    endif()
    if(NOT EXISTS ${KX_HOST_KXPACK})
        message(WARNING "No host kxpack at ${KX_HOST_KXPACK}: build the host tree first "
                        "(scripts/build.sh does), or ${A_NAME} cannot be built")
    endif()

    kx_add_setup_stub(NAME ${A_NAME} OUTPUT_NAME ${A_OUTPUT_NAME} STEPS ${A_STEPS})

    # kxpack reads a package folder, so the parts are staged into one under the
    # names it expects.
    set(stage ${CMAKE_CURRENT_BINARY_DIR}/${A_NAME}.package)
    set(commands
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}
        COMMAND ${CMAKE_COMMAND} -E copy ${A_SCRIPT} ${stage}/setup.ini
        COMMAND ${CMAKE_COMMAND} -E copy ${A_LICCN} ${stage}/LICCN.txt
        COMMAND ${CMAKE_COMMAND} -E copy ${A_LICB5} ${stage}/LICB5.txt
        COMMAND ${CMAKE_COMMAND} -E copy ${A_LICEN} ${stage}/LICEN.txt)
    # The same sources give the same setup program: the archive identifier from a
    # fixed seed, and the payload's files dated by the build's source date
    # rather than by when they were linked.
    set(options --no-progress --stub $<TARGET_FILE:${A_NAME}> --uninstaller ${A_UNINST} --seed ${KX_SOURCE_DATE_EPOCH})
    if(A_FILES)
        list(APPEND commands COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/files
                             COMMAND ${CMAKE_COMMAND} -E copy ${A_FILES} ${stage}/files/)
        if(Python3_Interpreter_FOUND)
            list(APPEND commands COMMAND ${Python3_EXECUTABLE} ${KX_APP_DIR}/set-file-times.py
                                         ${KX_SOURCE_DATE_EPOCH} ${stage}/files)
        endif()
    else()
        list(APPEND options --payload ${A_PAYLOAD})
    endif()
    if(A_FORCE)
        list(APPEND options --force)
    endif()
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        # The x86_64 tree only exists to run the Wine tests where 32-bit Wine cannot.
        list(APPEND options --allow-64bit)
    endif()
    add_custom_command(TARGET ${A_NAME} POST_BUILD ${commands}
        COMMAND ${KX_HOST_KXPACK} ${options} ${stage} -o $<TARGET_FILE:${A_NAME}>
        COMMENT "kxpack: adding the package to ${A_NAME}"
        VERBATIM)
    # Any change to the package links the stub again, and so packs again.
    set(inputs ${KX_HOST_KXPACK} ${A_SCRIPT} ${A_LICCN} ${A_LICB5} ${A_LICEN} ${A_UNINST} ${A_PAYLOAD} ${A_FILES})
    set_property(TARGET ${A_NAME} APPEND PROPERTY LINK_DEPENDS ${inputs})
    if(A_DEPENDS)
        add_dependencies(${A_NAME} ${A_DEPENDS})
    endif()
endfunction()
