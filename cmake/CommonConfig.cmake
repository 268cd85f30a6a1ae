# One target that carries the language standard, the warnings and the
# defines every target of the project shares.
add_library(project_options INTERFACE)
target_compile_features(project_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(project_options INTERFACE -Wall -Wextra)
# Every conversion between bytes and QString must name its encoding:
# the program's text is GBK, never the toolkit's default UTF-8.
# QT_NO_KEYWORDS keeps "slots", "signals" and "emit" ordinary names (the
# request record has slots); Qt code spells them Q_SLOTS and so on.
target_compile_definitions(project_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_NO_KEYWORDS)

if(WERROR)
  target_compile_options(project_options INTERFACE -Werror)
endif()

if(SANITIZE)
  target_compile_options(project_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(project_options INTERFACE -fsanitize=address,undefined)
endif()

# Fuzz builds: every library gets the fuzzer's coverage instrumentation and
# the sanitizers; the fuzz targets themselves link libFuzzer's main.
if(FUZZ)
  target_compile_options(project_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(project_options INTERFACE -fsanitize=address,undefined)
endif()
