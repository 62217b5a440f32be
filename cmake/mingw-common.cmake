# Both Windows trees use the win32 thread-model compilers: the posix model links
# winpthread into every program, and winpthread imports functions that only
# Windows Vista and later export. Tools that want threads use sys/Threads.h.
set(CMAKE_C_COMPILER ${KX_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${KX_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${KX_MINGW_TRIPLE}-windres)
set(KX_OBJDUMP ${KX_MINGW_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${KX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static libgcc, libstdc++ and zlib: the programs and DLLs need no DLL but
# Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(ZLIB_USE_STATIC_LIBS ON)
set(ZLIB_LIBRARY /usr/${KX_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "static zlib")
set(ZLIB_INCLUDE_DIR /usr/${KX_MINGW_TRIPLE}/include CACHE PATH "zlib headers")
# The Windows versions the sources are compiled for: cmake/KxWindows.cmake.
