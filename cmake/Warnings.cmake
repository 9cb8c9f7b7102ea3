# Shared compile settings for every target of the project.
add_library(velmora_settings INTERFACE)
target_compile_options(velmora_settings INTERFACE
  -Wall -Wextra -Wpedantic
  $<$<CONFIG:Debug>:-Werror>)
target_compile_definitions(velmora_settings INTERFACE
  QT_NO_CAST_TO_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
if(VELMORA_SANITIZE OR VELMORA_FUZZ)
  target_compile_options(velmora_settings INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
    $<$<BOOL:${VELMORA_FUZZ}>:-fsanitize=fuzzer-no-link>)
  target_link_options(velmora_settings INTERFACE -fsanitize=address,undefined)
endif()
