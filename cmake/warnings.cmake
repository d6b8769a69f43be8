# Warnings as errors on every target, with format checks.
add_compile_options(-Wall -Wextra -Werror -Wformat=2 -Wno-format-nonliteral -Wshadow
                    -Wno-missing-field-initializers)
if(WIN32)
  # Windows builds: the ANSI API, nothing from the SDK we do not ask for.
  add_compile_definitions(WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601
                          __USE_MINGW_ANSI_STDIO=0)
  add_link_options(-static -static-libgcc -static-libstdc++)
  # No link time in the PE header: two builds of the same sources give the same program file.
  add_link_options(-Wl,--no-insert-timestamp)
endif()
