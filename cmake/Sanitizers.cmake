if(BTGEN_SANITIZE)
  # Applied globally so that every target, test and app shares one runtime.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  # The sanitizer tree exists to run the tests: -O1 keeps its reports exact
  # and line tables (-g1) are all a stack trace needs, and together they
  # halve its compile time against the default -O2 -g.
  if(CMAKE_BUILD_TYPE STREQUAL "RelWithDebInfo")
    set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "-O1 -g1 -DNDEBUG")
  endif()
  # The instrumentation makes GCC see uninitialised reads inside the standard
  # library (std::regex, std::function) that are not there; the optimised
  # tree keeps the warning.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
endif()
