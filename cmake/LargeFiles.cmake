# On a 32-bit target, off_t and ino_t are 32 bits unless asked otherwise, and
# readdir() and stat() then fail with EOVERFLOW on a file system with 64-bit
# inode numbers or sizes. time_t goes to 64 bits only where the distribution
# builds everything that way (Debian from trixie on armhf and armel, not
# i386): the libraries we link pass struct timeval and input_event across
# their interfaces, so we must match them. dpkg-buildflags knows which; a
# Debian package build has the flags already in CPPFLAGS.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_compile_definitions(_FILE_OFFSET_BITS=64)
    option(QV_TIME_BITS_64 "Build with 64-bit time_t on a 32-bit target" OFF)
    if(NOT DEFINED QV_TIME_BITS_64_DETECTED)
        set(detected OFF)
        find_program(QV_DPKG_ARCHITECTURE dpkg-architecture)
        find_program(QV_DPKG_BUILDFLAGS dpkg-buildflags)
        if(QV_DPKG_ARCHITECTURE AND QV_DPKG_BUILDFLAGS AND CMAKE_LIBRARY_ARCHITECTURE)
            execute_process(COMMAND ${QV_DPKG_ARCHITECTURE} -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                            OUTPUT_VARIABLE arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
            if(arch)
                execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_HOST_ARCH=${arch}
                                        ${QV_DPKG_BUILDFLAGS} --get CPPFLAGS
                                OUTPUT_VARIABLE cppflags ERROR_QUIET)
                if(cppflags MATCHES "-D_TIME_BITS=64")
                    set(detected ON)
                endif()
            endif()
        endif()
        set(QV_TIME_BITS_64_DETECTED ${detected} CACHE INTERNAL "")
        if(detected)
            set(QV_TIME_BITS_64 ON CACHE BOOL "Build with 64-bit time_t on a 32-bit target" FORCE)
        endif()
    endif()
    if(QV_TIME_BITS_64)
        add_compile_definitions(_TIME_BITS=64)
    endif()
    message(STATUS "32-bit target: _FILE_OFFSET_BITS=64, 64-bit time_t ${QV_TIME_BITS_64}")
endif()
