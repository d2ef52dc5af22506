if(BTGEN_SANITIZE)
  # Applied globally so that every target, test and app shares one runtime.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
