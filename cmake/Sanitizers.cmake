# Whole-build sanitizer switch: every target, libraries and tests alike, is instrumented.
if(TAVRIX_SANITIZE STREQUAL "address")
  # GCC leaves out-of-range float-to-integer conversions out of "undefined";
  # they are undefined all the same, and x86 (INT_MIN) and ARM (saturation)
  # give different results for them: checked too.
  add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined,float-cast-overflow)
elseif(TAVRIX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT TAVRIX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TAVRIX_SANITIZE must be '', 'address' or 'thread'")
endif()
