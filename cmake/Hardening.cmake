# The hardening Debian builds its packages with (dpkg-buildflags with hardening=+all): stack
# protector, format checks, fortified libc calls, full RELRO with immediate binding; the
# compiler's default PIE stays. Only the hardening flags are taken over, not -g/-O2 or the
# path maps, which the build type and the shared compiler cache decide. Sanitizer builds keep
# their own instrumentation.
option(QUORVEL_HARDENING "Build with the Debian hardening flags" ON)
if(QUORVEL_HARDENING AND NOT (QUORVEL_SANITIZE OR QUORVEL_FUZZ))
  set(quorvel_hardening_compile -fstack-protector-strong -Wformat -Werror=format-security)
  set(quorvel_hardening_link -Wl,-z,relro -Wl,-z,now)
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  if(DPKG_BUILDFLAGS)
    set(quorvel_hardening_compile "")
    set(quorvel_hardening_link "")
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
      execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                              ${DPKG_BUILDFLAGS} --get ${kind}
                      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
      separate_arguments(flags UNIX_COMMAND "${flags}")
      foreach(f ${flags})
        if(kind STREQUAL LDFLAGS AND f MATCHES "^-Wl,-z,")
          list(APPEND quorvel_hardening_link ${f})
        elseif(f MATCHES "^(-fstack-protector|-fstack-clash-protection|-fcf-protection|-Wformat|-Werror=format-security|-D_FORTIFY_SOURCE)")
          list(APPEND quorvel_hardening_compile ${f})
        endif()
      endforeach()
    endforeach()
  else()
    list(APPEND quorvel_hardening_compile -D_FORTIFY_SOURCE=2)
  endif()
  # Fortified calls need the optimiser; an unoptimised build would only warn.
  foreach(f ${quorvel_hardening_compile})
    if(f MATCHES "^-D_FORTIFY_SOURCE")
      add_compile_options($<$<NOT:$<CONFIG:Debug>>:${f}>)
    else()
      add_compile_options(${f})
    endif()
  endforeach()
  add_link_options(${quorvel_hardening_link})
endif()
